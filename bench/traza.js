// Where the browser's time goes, in headless Chromium: its own trace of the
// page (puppeteer's tracing) over a few seconds on the title, its tune
// playing, and racing with the car climbing, summed by thread and, on the
// page's main thread, by what ran (timers, the page's frames, the sound's
// buffers, painting, compositing), with the game's wakes counted in the
// page: how many a second and how long each held the thread.
//   SITIO=build-web/sitio REFERENCIA=... DATOS=... NODE_PATH=... node bench/traza.js [out-dir]
'use strict';
const P = require('../tests/web/prueba.js');
const fs = require('fs');
const path = require('path');
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

const CATEGORIAS = ['toplevel', 'devtools.timeline', 'disabled-by-default-devtools.timeline', 'v8', 'blink',
  'cc', 'viz', 'gpu', 'audio', 'media', 'webaudio', 'disabled-by-default-devtools.timeline.frame',
  'benchmark', 'blink.user_timing', 'renderer.scheduler', 'scheduler'];

// Thread CPU (tdur, or dur where there is none) of each thread's outermost
// events, and on each thread the self time of each event name.
function resumir(traza, segundos) {
  const nombres = new Map();
  for (const e of traza.traceEvents) {
    if (e.ph === 'M' && e.name === 'thread_name') nombres.set(`${e.pid}:${e.tid}`, e.args.name);
    if (e.ph === 'M' && e.name === 'process_name') nombres.set(`${e.pid}`, e.args.name);
  }
  const porHilo = new Map();
  for (const e of traza.traceEvents) {
    if (e.ph !== 'X' || e.dur === undefined) continue;
    const k = `${e.pid}:${e.tid}`;
    if (!porHilo.has(k)) porHilo.set(k, []);
    porHilo.get(k).push(e);
  }
  const hilos = [];
  for (const [k, evs] of porHilo) {
    evs.sort((a, b) => a.ts - b.ts || b.dur - a.dur);
    const pila = [];
    let total = 0;
    const propio = new Map();
    for (const e of evs) {
      while (pila.length && pila[pila.length - 1].ts + pila[pila.length - 1].dur <= e.ts) pila.pop();
      const t = e.tdur !== undefined ? e.tdur : e.dur;
      if (!pila.length) total += t;
      else {
        const p = pila[pila.length - 1];
        propio.set(p.name, (propio.get(p.name) || 0) - t);
      }
      propio.set(e.name, (propio.get(e.name) || 0) + t);
      pila.push(e);
    }
    const [pid] = k.split(':');
    hilos.push({ hilo: `${nombres.get(pid) || pid} / ${nombres.get(k) || k}`, total, propio });
  }
  hilos.sort((a, b) => b.total - a.total);
  for (const h of hilos.slice(0, 12)) {
    if (h.total < 1000) continue;
    console.log(`  ${(h.total / 1e4 / segundos).toFixed(1).padStart(5)}%  ${h.hilo}`);
    const lista = [...h.propio].filter(([, t]) => t > 0).sort((a, b) => b[1] - a[1]).slice(0, 8);
    for (const [n, t] of lista) console.log(`           ${(t / 1e4 / segundos).toFixed(2).padStart(5)}%  ${n}`);
  }
}

// In the page: each wake of the game, how long it held the thread, and how
// long each wait asked to sleep (ms, by the game or by the sound).
function contar() {
  const c = window.Module.carrera;
  const dormir = c.dormir;
  const v = (window.__despertares = { n: 0, ms: 0, timeouts: 0, pedidos: {} });
  const st = window.setTimeout;
  window.setTimeout = function (...a) { v.timeouts++; return st.apply(this, a); };
  c.dormir = (ms, seguir, nuevo, ...resto) => {
    const sonar = typeof esperaSonido === 'function' ? esperaSonido() : Infinity;
    const k = Math.min(20, Math.ceil(Math.min(ms < 0 ? Infinity : ms, sonar)));
    v.pedidos[k] = (v.pedidos[k] || 0) + 1;
    dormir(ms, () => {
      const t = performance.now();
      seguir();
      v.n++;
      v.ms += performance.now() - t;
    }, nuevo, ...resto);
  };
}

async function medir(p, que, segundos, dir) {
  await p.evaluate(() => Object.assign(window.__despertares, { n: 0, ms: 0, timeouts: 0, pedidos: {} }));
  const ruta = path.join(dir, `traza-${que}.json`);
  await p.tracing.start({ path: ruta, categories: CATEGORIAS });
  await dormir(segundos * 1000);
  await p.tracing.stop();
  const d = await p.evaluate(() => window.__despertares);
  console.log(`${que}: ${(d.n / segundos).toFixed(0)} wakes of the game a second, ${(d.ms / d.n * 1000).toFixed(0)} us ` +
              `each (${(d.ms / segundos / 10).toFixed(1)}% of a core), ${(d.timeouts / segundos).toFixed(0)} setTimeout a second`);
  console.log(`  sleeps asked, ms: count: ${JSON.stringify(d.pedidos)}`);
  resumir(JSON.parse(fs.readFileSync(ruta, 'utf8')), segundos);
}

(async () => {
  const dir = process.argv[2] || fs.mkdtempSync('/tmp/traza-');
  const refs = { titulo: P.referencia('titulo'), pista: P.referencia('carrera', 0, 0, -1, -1, '') };
  await P.conServidor([], (url) => P.conNavegador(async (p) => {
    await p.goto(url);
    await p.waitForFunction(() => document.getElementById('texto').textContent.startsWith('Haz clic'),
                            { polling: 5 });
    await P.poner(p, refs);
    await dormir(2000);
    await p.mouse.click(450, 350);
    await P.pagina(p, 'titulo', 'the title');
    await p.evaluate(contar);
    await dormir(1000);
    await medir(p, 'title', 4, dir);
    await p.keyboard.press('Enter');
    await dormir(1500);
    await p.keyboard.down('ArrowUp');
    await medir(p, 'racing, Up held (climbing)', 3.5, dir);
    await p.keyboard.up('ArrowUp');
  }));
  console.log(`traces in ${dir}`);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
