// The page's CPU by thread, without tracing: each of headless Chromium's
// threads' utime+stime from /proc over 5 s at the start prompt, 5 s on the
// title with its tune, and 6.4 s of the car climbing then coming back, for
// each site given, in turns, for a number of rounds; then each site's
// median and range of the whole.
//   REFERENCIA=... DATOS=... NODE_PATH=... node bench/hilos.js ROUNDS SITE [SITE...]
'use strict';
process.env.SITIO = process.env.SITIO || process.argv[3];
const P = require('../tests/web/prueba.js');
const fs = require('fs');
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

// utime+stime of every thread under the browser's process, by process type and thread name.
function hilos(pid) {
  const padres = new Map(), todos = new Map();
  for (const d of fs.readdirSync('/proc').filter((x) => /^\d+$/.test(x))) {
    try {
      padres.set(Number(d), Number(fs.readFileSync(`/proc/${d}/stat`, 'utf8').split(') ')[1].split(' ')[1]));
    } catch (e) { /* gone meanwhile */ }
  }
  for (const [d] of padres) {
    let q = d;
    while (q > 1 && q !== pid) q = padres.get(q) || 0;
    if (q !== pid) continue;
    let tipo = 'browser';
    try {
      const m = fs.readFileSync(`/proc/${d}/cmdline`, 'utf8').match(/--type=([a-z-]+)/);
      if (m) tipo = m[1];
      for (const t of fs.readdirSync(`/proc/${d}/task`)) {
        const s = fs.readFileSync(`/proc/${d}/task/${t}/stat`, 'utf8');
        const c = s.slice(s.lastIndexOf(')') + 2).split(' ');
        todos.set(`${tipo}/${s.slice(s.indexOf('(') + 1, s.lastIndexOf(')'))}#${t}`, Number(c[11]) + Number(c[12]));
      }
    } catch (e) { /* gone meanwhile */ }
  }
  return todos;
}

// % of one core over ms: all of it, and the threads that took 0.2% or more.
async function medir(navegador, ms) {
  const pid = navegador.process().pid;
  const a = hilos(pid), t0 = Date.now();
  await dormir(ms);
  const b = hilos(pid), s = (Date.now() - t0) / 1000;
  const porNombre = new Map();
  let todo = 0;
  for (const [k, v] of b) {
    const d = (v - (a.get(k) || 0)) / s;
    todo += d;
    const n = k.split('#')[0];
    porNombre.set(n, (porNombre.get(n) || 0) + d);
  }
  const lista = [...porNombre].filter(([, v]) => v >= 0.2).sort((x, y) => y[1] - x[1]);
  return { todo, lista: lista.map(([k, v]) => `${k} ${v.toFixed(1)}`).join(', ') };
}

(async () => {
  const rondas = Number(process.argv[2]);
  const sitios = process.argv.slice(3);
  const refs = { titulo: P.referencia('titulo') };
  const vistos = new Map(sitios.map((s) => [s, []]));
  for (let r = 0; r < rondas; r++) {
    for (const sitio of sitios) {
      let navegador;
      await P.conServidor([], (url) => P.conNavegador(async (p) => {
        await p.goto(url);
        await p.waitForFunction(() => document.getElementById('texto').textContent.startsWith('Haz clic'),
                                { polling: 50 });
        await dormir(3000);
        const aviso = await medir(navegador, 5000);
        await P.poner(p, refs);
        await p.mouse.click(450, 350);
        await P.pagina(p, 'titulo', 'the title');
        await dormir(1500);
        const titulo = await medir(navegador, 5000);
        await p.keyboard.press('Enter');
        await dormir(2500);
        await p.keyboard.down('ArrowUp');
        await dormir(200);
        const subida = medir(navegador, 6400);
        await dormir(3300);
        await p.keyboard.up('ArrowUp');
        await p.keyboard.down('ArrowDown');
        const carrera = await subida;
        await p.keyboard.up('ArrowDown');
        const carga = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
        console.log(`[${r}] ${sitio} (load ${carga}): prompt ${aviso.todo.toFixed(1)}%, ` +
                    `title ${titulo.todo.toFixed(1)}%, climbing ${carrera.todo.toFixed(1)}%`);
        console.log(`    prompt: ${aviso.lista}\n    title: ${titulo.lista}\n    climbing: ${carrera.lista}`);
        vistos.get(sitio).push([aviso.todo, titulo.todo, carrera.todo]);
      }, (b) => { navegador = b; }), sitio);
    }
  }
  for (const [sitio, v] of vistos) {
    const cifra = (i) => {
      const x = v.map((f) => f[i]).sort((a, b) => a - b);
      return `${x[x.length >> 1].toFixed(1)}% (${x[0].toFixed(1)}-${x[x.length - 1].toFixed(1)})`;
    };
    console.log(`${sitio}: prompt ${cifra(0)}, title ${cifra(1)}, climbing ${cifra(2)}`);
  }
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
