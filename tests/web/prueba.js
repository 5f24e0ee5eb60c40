// Plays the browser build in headless Chromium (or Firefox, or WebKit) as a player
// would, and compares the canvas with what tests/referencia draws from the
// same datafile: the title (waiting, with its tune), the race, the car held
// up to the top bound at about 100 px/s in whole frames, its step sound at
// its pitch, the browser's CPU, the result page, the three credit pages with
// the desktop's fades and the fade to black. Then wherever it is put: opened
// as a file, inside another site's page, on a plain host, which must play
// as they are; a host without one of its files, and a browser without
// Web Audio, which the page must name. The page's words in the browser's
// language, Spanish or English, or the host's.
//
//   [NAVEGADOR=firefox|webkit] SITIO=build-web/sitio REFERENCIA=build/tests/referencia \
//   DATOS=build/datos.dat NODE_PATH=<puppeteer-core's node_modules> node tests/web/prueba.js
'use strict';
const puppeteer = require('puppeteer-core');
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const ESPERA = Number(process.env.E2E_ESPERA || 30) * 1000;
const { SITIO, REFERENCIA, DATOS } = process.env;
const ARRIBA = 4;
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

// ---- reference pictures, drawn by tests/referencia as the desktop tests do --

function referencia(que, ...args) {
  const ppm = execFileSync(REFERENCIA, [DATOS, que, ...args.map(String)], { maxBuffer: 1 << 23 });
  let i = 0;
  const campo = () => {
    const j = ppm.indexOf(0x0a, i);
    const s = ppm.toString('latin1', i, j);
    i = j + 1;
    return s;
  };
  campo();
  const [w, h] = campo().split(' ').map(Number);
  campo();
  return { w, h, rgb: ppm.subarray(i, i + w * h * 3).toString('base64') };
}

// Runs in the page: the canvas compared with the references handed to it.
function ayudas() {
  const refs = {};
  const lienzo = document.getElementById('lienzo');
  const leer = () => lienzo.getContext('2d').getImageData(0, 0, 800, 600).data;
  window.__prueba = {
    poner(nombre, b64) {
      refs[nombre] = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    },
    // 'same', or how the region of the canvas differs from the reference.
    comparar(nombre, x = 0, y = 0, w = 800, h = 600) {
      const a = leer(), b = refs[nombre];
      let n = 0, primero = null;
      for (let j = y; j < y + h; j++) {
        for (let i = x; i < x + w; i++) {
          const p = j * 800 + i;
          if (a[p * 4] !== b[p * 3] || a[p * 4 + 1] !== b[p * 3 + 1] || a[p * 4 + 2] !== b[p * 3 + 2]) {
            if (!primero) {
              primero = `first at (${i},${j}): canvas ${a[p * 4]},${a[p * 4 + 1]},${a[p * 4 + 2]}, ` +
                        `expected ${b[p * 3]},${b[p * 3 + 1]},${b[p * 3 + 2]}`;
            }
            n++;
          }
        }
      }
      return n ? `${n} pixels differ; ${primero}` : 'same';
    },
    // The top row where the track region differs from the bare track, and
    // when the page painted what it read: a busy page paints late.
    arriba(nombre) {
      const a = leer(), b = refs[nombre];
      for (let j = 90; j < 588; j++) {
        for (let i = 163; i < 676; i++) {
          const p = j * 800 + i;
          if (a[p * 4] !== b[p * 3] || a[p * 4 + 1] !== b[p * 3 + 1] || a[p * 4 + 2] !== b[p * 3 + 2]) {
            return { y: j, t: carrera.pintado };
          }
        }
      }
      return { y: null, t: carrera.pintado };
    },
    // The car's box on the track (the region where it differs from the bare
    // track), or null on a frame caught mid-palette, where more differs.
    coche(nombre) {
      const a = leer(), b = refs[nombre];
      let x0 = 800, y0 = 600, x1 = -1, y1 = -1;
      for (let j = 90; j < 588; j++) {
        for (let i = 163; i < 676; i++) {
          const p = j * 800 + i;
          if (a[p * 4] !== b[p * 3] || a[p * 4 + 1] !== b[p * 3 + 1] || a[p * 4 + 2] !== b[p * 3 + 2]) {
            x0 = Math.min(x0, i); x1 = Math.max(x1, i); y0 = Math.min(y0, j); y1 = Math.max(y1, j);
          }
        }
      }
      if (x1 - x0 > 100 || y1 - y0 > 100) return null;
      return { x: (x0 + x1) / 2, y: (y0 + y1) / 2, arriba: y0, t: carrera.pintado };
    },
    // The race clock's pixels, top right: they change once a second.
    reloj() {
      const a = leer();
      const s = [];
      for (let j = 0; j < 10; j++) s.push(a.subarray(j * 3200 + 2880, j * 3200 + 3200).join());
      return s.join();
    },
    pixel(x, y) {
      return Array.from(leer().subarray((y * 800 + x) * 4, (y * 800 + x) * 4 + 3));
    },
    negro() {
      const a = leer();
      for (let p = 0; p < a.length; p += 4) if (a[p] || a[p + 1] || a[p + 2]) return false;
      return true;
    },
    texto: () => document.getElementById('aviso').hidden ? '' : document.getElementById('texto').textContent,
    // From now on, the brightest value of each frame the page paints, and when.
    vigilar() {
      const v = (window.__brillos = []);
      let visto = -1;
      (function mirar() {
        if (carrera.cuadros !== visto) {
          visto = carrera.cuadros;
          const a = leer();
          let m = 0;
          for (let p = 0; p < a.length; p += 4) m = Math.max(m, a[p], a[p + 1], a[p + 2]);
          v.push([m, performance.now()]);
        }
        if (window.__brillos === v) requestAnimationFrame(mirar);
      })();
    },
    brillos() {
      const v = window.__brillos;
      window.__brillos = null;
      return v;
    },
    // The left side of what the page played, frames desde to hasta (of carrera.oido.n).
    oido(desde, hasta) {
      const g = carrera.oido.grabado;
      return Array.from({ length: hasta - desde }, (_, i) => g[(desde + i) % g.length]);
    },
  };
}

// ---- the step sound, as the page should play it -----------------------------

// The first n frames of the step sound as the mixer plays it at tasa Hz
// (linear steps between the sample's own values), as the desktop test has it.
function plantilla(tasa, n = 400) {
  const salida = execFileSync(REFERENCIA, [DATOS, 'muestra'], { maxBuffer: 1 << 23 });
  const i = salida.indexOf(0x0a);
  const [hz, largo] = salida.toString('latin1', 0, i).split(' ').map(Number);
  const m = [];
  for (let k = 0; k < largo; k++) m.push(salida.readInt16LE(i + 1 + k * 2) / 32768);
  const t = [];
  for (let k = 0; k < n; k++) {
    const pos = k * hz / tasa, j = Math.floor(pos);
    if (j + 1 >= m.length) break;
    t.push(m[j] + (m[j + 1] - m[j]) * (pos - j));
  }
  return t;
}

// Best normalised correlation of t with any stretch of x.
function parecido(x, t) {
  const et = Math.sqrt(t.reduce((a, v) => a + v * v, 0));
  let mejor = 0;
  for (let k = 0; k + t.length <= x.length; k++) {
    let e = 0, c = 0;
    for (let i = 0; i < t.length; i++) {
      e += x[k + i] * x[k + i];
      c += x[k + i] * t[i];
    }
    if (e > 0) mejor = Math.max(mejor, c / (Math.sqrt(e) * et));
  }
  return mejor;
}

// The middle of parecido over stretches of n frames: a held key's step sound
// is in nearly every one, while the tune matches it only by chance in a few.
function mediano(x, t, n) {
  const r = [];
  for (let k = 0; k + n <= x.length; k += n) r.push(parecido(x.slice(k, k + n), t));
  return r.sort((a, b) => a - b)[r.length >> 1];
}

// ---- the browser and the server, always taken down -------------------------

// The engine: NAVEGADOR=firefox drives Debian's firefox-esr over WebDriver
// BiDi, where the space bar is named ' '; NAVEGADOR=webkit Debian's
// MiniBrowser over classic WebDriver (tests/web/webkit.js); otherwise
// Debian's chromium.
const NAVEGADOR = process.env.NAVEGADOR || 'chromium';
const FIREFOX = NAVEGADOR === 'firefox', WEBKIT = NAVEGADOR === 'webkit';
const ESPACIO = FIREFOX ? ' ' : 'Space';

// vista: the window's size, or a phone's (puppeteer's Viewport); lenguas:
// the browser's languages, first preferred (WebKit takes only the first).
async function conNavegador(f, alAbrir = () => {}, vista = { width: 900, height: 700 }, lenguas = ['es']) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `carrera-${NAVEGADOR}-`));
  let b;
  try {
    b = WEBKIT ? await require('./webkit').lanzar(dir, lenguas[0]) : await puppeteer.launch(FIREFOX ? {
      browser: 'firefox', executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
      headless: true, userDataDir: dir,
      // No sound device here: Firefox's stand-in for one plays in time.
      extraPrefsFirefox: { 'media.cubeb.force_mock_context': true, 'intl.accept_languages': lenguas.join(',') },
    } : {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: dir,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             `--lang=${lenguas[0]}`, `--accept-lang=${lenguas.join(',')}`],
    });
    alAbrir(b);
    const p = await b.newPage();
    p.on('pageerror', (e) => console.log('page error: ' + e.message));
    await p.setViewport(vista);
    return await f(p);
  } finally {
    if (b) await b.close().catch(() => {});
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

async function conServidor(opciones, f, sitio = SITIO) {
  const s = spawn('/usr/bin/python3', [path.join(__dirname, '../../web/servir.py'), sitio, '0', ...opciones],
                  { stdio: ['ignore', 'pipe', 'inherit'] });
  try {
    const url = await new Promise((ok, mal) => {
      s.stdout.once('data', (d) => ok(String(d).trim()));
      s.once('exit', (c) => mal(new Error('the server stopped with status ' + c)));
    });
    return await f(url, s);
  } finally {
    s.kill();
  }
}

// CPU seconds of a process and all below it, from /proc: a browser's
// processes all descend from the one it was launched as.
function cpu(pid) {
  const padres = new Map();
  const tiempos = new Map();
  for (const d of fs.readdirSync('/proc').filter((x) => /^\d+$/.test(x))) {
    try {
      const campos = fs.readFileSync(`/proc/${d}/stat`, 'utf8').split(') ')[1].split(' ');
      padres.set(Number(d), Number(campos[1]));
      tiempos.set(Number(d), Number(campos[11]) + Number(campos[12]));
    } catch (e) { /* gone meanwhile */ }
  }
  let t = 0;
  for (const [d, ticks] of tiempos) {
    let q = d;
    while (q > 1 && q !== pid) q = padres.get(q) || 0;
    if (q === pid) t += ticks;
  }
  return t / 100;
}

// Share of one core that the browser's processes take over the next ms.
async function uso(navegador, ms) {
  const pid = navegador.process().pid;
  const c0 = cpu(pid), r0 = Date.now();
  await dormir(ms);
  return (cpu(pid) - c0) / ((Date.now() - r0) / 1000);
}

// ---- waiting and failing -------------------------------------------------

let fallos = 0;
async function fallo(p, texto) {
  const ruta = path.resolve(`fallo-${process.pid}-${++fallos}.png`);
  // A frame inside the page has no screenshot of its own.
  if (p.screenshot) await p.screenshot({ path: ruta }).catch(() => {});
  throw new Error(`${texto} (page saved as ${ruta})`);
}

// Asks cond (run in the page) until it gives true; fails with its last answer.
async function esperar(p, cond, que, ms = ESPERA, ...args) {
  const fin = Date.now() + ms;
  let visto;
  while (Date.now() < fin) {
    // A page loading again under the service worker drops one question.
    visto = await p.evaluate(cond, ...args).catch((e) => e.message);
    if (visto === true) return;
    await dormir(20);
  }
  await fallo(p, `waiting for ${que}: ${visto}`);
}

async function pagina(p, nombre, que, region = [0, 0, 800, 600]) {
  await esperar(p, (n, r) => { const d = __prueba.comparar(n, ...r); return d === 'same' || d; },
                que, ESPERA, nombre, region);
}

async function poner(p, refs) {
  await p.evaluate(ayudas);
  for (const [nombre, r] of Object.entries(refs)) await p.evaluate((n, b) => __prueba.poner(n, b), nombre, r.rgb);
}

// Presses Return until the page on the canvas starts to go. While a fade is
// watched (vigilar), its record tells at once, and the whole canvas is
// compared only now and then: that would take the page's thread from the
// fade it watches.
async function pasar(p, nombre) {
  for (let k = 0; k < 5; k++) {
    await p.keyboard.press('Enter');
    const fin = Date.now() + 5000;
    for (let i = 0; Date.now() < fin; i++) {
      if (await p.evaluate((n, todo) => {
        const v = window.__brillos;
        if (v && v.some(([m]) => m !== v[0][0])) return true;
        return (todo || !v) && __prueba.comparar(n, 0, 0, 800, 600) !== 'same';
      }, nombre, i % 10 === 0)) return;
      await dormir(20);
    }
  }
  await fallo(p, `${nombre} stayed through five presses of Return`);
}

// ---- the tests ---------------------------------------------------------------

async function partidaEntera() {
  const refs = {
    titulo: referencia('titulo'),
    carrera: referencia('carrera', 300, 490, ARRIBA, 0, ''),
    arriba: referencia('carrera', 300, 90, ARRIBA, 0, ''),
    pista: referencia('carrera', 0, 0, -1, -1, ''),
    vueltas: referencia('carrera', 0, 0, -1, 0, ''),
    resultado: referencia('resultado', 0),
    creditos1: referencia('creditos', 1),
    creditos2: referencia('creditos', 2),
    creditos3: referencia('creditos', 3),
  };
  let navegador;
  await conServidor([], (url) => conNavegador(async (p) => {
    await alClic(p, url, refs);
    const oido = await p.evaluate(() => ({ ...carrera.oido, t: sonido.ctx.currentTime }));
    // The title waits for a key, and its tune plays meanwhile.
    const fin = Date.now() + 2000;
    while (Date.now() < fin) {
      const d = await p.evaluate(() => __prueba.comparar('titulo'));
      if (d !== 'same') await fallo(p, 'the title went with no key pressed: ' + d);
      await dormir(100);
    }
    const ahora = await p.evaluate(() => ({ ...carrera.oido, t: sonido.ctx.currentTime }));
    const rms = Math.sqrt((ahora.suma - oido.suma) / Math.max(1, ahora.n - oido.n));
    // The page plays the game's frames as fast as its audio clock asks, none
    // missing: the tune's tempo. (Firefox's stand-in device runs slow when busy.)
    const tasa = await p.evaluate(() => sonido.ctx.sampleRate);
    const ritmo = (ahora.n - oido.n) / (ahora.t - oido.t);
    if (ritmo < tasa * 0.9 || ritmo > tasa * 1.1 || rms < 0.01) {
      await fallo(p, `no tune on the title as it should play: ${ritmo.toFixed(0)} frames a second of its clock ` +
                  `at a rate of ${tasa} Hz, RMS ${rms.toFixed(4)}`);
    }
    console.log(`tune on the title: ${ritmo.toFixed(0)} frames a second of its clock at ${tasa} Hz, RMS ${rms.toFixed(3)}`);

    await p.keyboard.press('Enter');
    await pagina(p, 'carrera', 'the race with the car at (300,490)', [0, 10, 800, 590]);
    await pagina(p, 'vueltas', 'Vueltas:0 at (1,1)', [0, 0, 100, 10]);
    const inicio = await p.evaluate(() => __prueba.arriba('pista'));

    // The tune alone, before the step sound.
    const soloMusica = await p.evaluate(() => __prueba.oido(carrera.oido.n - 44100, carrera.oido.n));

    // Held Up: one step a tick, 100 px/s, to the top bound at y 90. The page
    // paints whole frames only: every look finds the car.
    await p.keyboard.down('ArrowUp');
    const vistos = [];
    const hasta = Date.now() + ESPERA;
    for (;;) {
      const a = await p.evaluate(() => __prueba.arriba('pista'));
      if (a.y === null) await fallo(p, `look ${vistos.length + 1} of the climb found no car on the track`);
      vistos.push(a);
      if (a.y === inicio.y - 400) break;
      if (Date.now() > hasta) await fallo(p, `the car's top at row ${a.y}, wanted ${inicio.y - 400}`);
      await dormir(10);
    }
    await pagina(p, 'arriba', 'the car at the top bound (300,90)', [0, 10, 800, 590]);
    // The step sound's own waveform at the page's rate, found over the tune
    // in each twentieth of a second of play: the pitch of all the game's
    // sound. The tune alone matches it by chance some way.
    const conPasos = await p.evaluate(() => __prueba.oido(carrera.oido.n - 44100, carrera.oido.n));
    const t = plantilla(tasa);
    const trozo = Math.round(tasa / 20);
    const [c1, c0] = [mediano(conPasos, t, trozo), mediano(soloMusica, t, trozo)];
    console.log(`step sound match: ${c1.toFixed(3)} with Up held, ${c0.toFixed(3)} with the tune alone`);
    if (c1 < 0.65 || c1 < c0 + 0.15) {
      await fallo(p, `step sound not heard at its pitch: match ${c1.toFixed(3)} with Up held, ` +
                  `${c0.toFixed(3)} without`);
    }
    // Held there the car is drawn and heard every tick; the game sleeps
    // between its ticks and the page paints only new frames. A game or page
    // that spins takes a core or more.
    // The game's wait for its tick ends on the page's frame: some 60 wakes a
    // second, not 100 ticks and the tune's timer besides.
    const esperas0 = await p.evaluate(() => [carrera.esperas, performance.now()]);
    const cpuArriba = await uso(navegador, 3000);
    const esperas1 = await p.evaluate(() => [carrera.esperas, performance.now()]);
    const despiertas = (esperas1[0] - esperas0[0]) / (esperas1[1] - esperas0[1]) * 1000;
    console.log(`CPU with Up held at the bound: ${(cpuArriba * 100).toFixed(0)}% of one core, ` +
                `the game woken ${despiertas.toFixed(0)} times a second`);
    if (cpuArriba > 0.6) {
      await fallo(p, `the browser took ${(cpuArriba * 100).toFixed(0)}% of one core with Up held, ` +
                  'wanted well under one core');
    }
    if (despiertas > 80) await fallo(p, `the game woke ${despiertas.toFixed(0)} times a second racing, wanted once a frame`);
    await p.keyboard.up('ArrowUp');
    // From its first step to the top, leaving out the first and last 50 px.
    const a = vistos.find((v) => v.y <= inicio.y - 50), b = vistos.find((v) => v.y <= inicio.y - 350);
    const v = (a.y - b.y) / (b.t - a.t) * 1000;
    console.log(`car held up: ${v.toFixed(1)} px/s`);
    if (v < 70 || v > 130) {
      await fallo(p, `the car climbed at ${v.toFixed(1)} px/s, wanted about 100 (rows ${a.y} and ${b.y} ` +
                  `painted at ${a.t.toFixed(0)} and ${b.t.toFixed(0)} ms; ${vistos.length} looks)`);
    }

    await p.keyboard.down(ESPACIO);
    await esperar(p, () => __prueba.pixel(0, 300).join() !== '0,255,0' || 'surround still green',
                  'the race to end');
    await p.keyboard.up(ESPACIO);
    await pagina(p, 'resultado', 'the result page, Vueltas:0');
    // Return on a page dims it slowly to black, some sixty levels in about a
    // second as on the desktop; the next page comes at once.
    const fundido = async (que) => {
      const v = await p.evaluate(() => __prueba.brillos());
      const tenues = new Set(v.filter(([m]) => m > 0 && m < 200).map(([m]) => m)).size;
      if (tenues < 5) await fallo(p, `${que}: the page before it went without a slow fade (${tenues} dim levels seen)`);
      return v;
    };
    let antes = 'resultado';
    for (const k of [1, 2, 3]) {
      await p.evaluate(() => __prueba.vigilar());
      await pasar(p, antes);
      // The fade watched to its end before the canvas is compared again.
      const fin = Date.now() + 3000;
      while (Date.now() < fin && !await p.evaluate(() => {
        const v = window.__brillos, i = v.findIndex(([m]) => m < 200);
        return i >= 0 && v.slice(i).some(([m]) => m >= 200);
      })) await dormir(50);
      antes = 'creditos' + k;
      await pagina(p, antes, 'credit page ' + k);
      const v = await fundido('credit page ' + k);
      // From its darkest frame (black may last less than one of the page's frames).
      const minimo = Math.min(...v.map(([m]) => m));
      const negro = v.findIndex(([m]) => m === minimo), luz = v.findIndex(([m], i) => i > negro && m >= 200);
      if (luz < 0 || v[luz][1] - v[negro][1] > 1200) {
        await fallo(p, `credit page ${k}: no quick fade-in after the fade out ` +
                    `(${luz < 0 ? 'never bright again' : `${(v[luz][1] - v[negro][1]).toFixed(0)} ms`})`);
      }
    }
    // The last page goes with the slowest fade to black, nearly two seconds.
    await p.evaluate(() => __prueba.vigilar());
    await pasar(p, antes);
    const t0 = Date.now();
    await esperar(p, () => !document.getElementById('boton').hidden || 'no offer to play again',
                  'the offer to play again');
    await esperar(p, () => __prueba.negro() || 'canvas not black', 'the fade to black');
    await fundido('the end');
    if (Date.now() - t0 < 1200) await fallo(p, `the game ended ${Date.now() - t0} ms into its fade: no slow fade to black`);
  }, (b) => { navegador = b; }));
}

// Wherever the site is put, it plays as it is. On a plain host (every
// server here is one: no special headers) it plays at once, loaded once;
// a host missing one of its files, or a browser Web Audio, has the
// page name it.
async function dondeSea() {
  const titulo = { titulo: referencia('titulo') };
  await conServidor(['--registro'], (url, servidor) => conNavegador(async (p) => {
    let registro = '';
    servidor.stdout.on('data', (d) => { registro += d; });
    await alClic(p, url, titulo);
    await esperar(p, () => carrera.oido.n > 0 || 'no sound played', 'the tune');
    // Counted where every engine can: one page asked of the server, and in
    // the page a first visit (not a reload) that still has the test's
    // helpers, put in once it loaded: a later load may come from the
    // service worker, unseen by the server.
    const cargas = registro.split('\n').filter((l) => l.endsWith(' text/html')).length;
    const [como, ayudas] = await p.evaluate(() => [performance.getEntriesByType('navigation')[0].type,
                                                   typeof __prueba]);
    if (cargas !== 1 || como !== 'navigate' || ayudas !== 'object') {
      await fallo(p, `the page loaded ${cargas} times from the server, the last as a ${como}; its helpers ${ayudas}`);
    }
  }));
  // A browser without Web Audio is told so in words (WebKit's
  // driver cannot take it away before the page runs).
  if (!WEBKIT) {
    await conServidor([], (url) => conNavegador(async (p) => {
      await p.evaluateOnNewDocument(() => { delete window.AudioContext; delete window.webkitAudioContext; });
      await p.goto(url);
      await p.evaluate(ayudas);
      await esperar(p, () => /no tiene Web Audio/.test(__prueba.texto()) || `the page says "${__prueba.texto()}"`,
                    'the missing Web Audio named');
    }));
  }
  await sinDatos((url) => conNavegador(async (p) => {
    await p.goto(url);
    await p.evaluate(ayudas);
    await esperar(p, () => /falta carrera-datos\.js/.test(__prueba.texto()) || `the page says "${__prueba.texto()}"`,
                  'the missing file named');
  }));
}

// The page's words as a player should read them, in each language.
const DICHO = {
  es: {
    clic: 'Haz clic o pulsa una tecla para empezar', toca: 'Toca la pantalla para empezar',
    completa: 'Pantalla completa', otraVez: 'Jugar otra vez',
    Arriba: 'Arriba', Abajo: 'Abajo', Izquierda: 'Izquierda', Derecha: 'Derecha', Terminar: 'Terminar',
    falta: 'No se pudo cargar el juego: falta carrera-datos.js en el servidor.',
  },
  en: {
    clic: 'Click or press a key to start', toca: 'Tap the screen to start',
    completa: 'Full screen', otraVez: 'Play again',
    Arriba: 'Up', Abajo: 'Down', Izquierda: 'Left', Derecha: 'Right', Terminar: 'End',
    falta: 'The game could not be loaded: carrera-datos.js is missing on the server.',
  },
};

// The page speaks the first of the browser's languages it has, or the
// one the host asks for by ?lang=: its document's lang, start prompt,
// buttons and the names of its touch controls, and a missing file named.
async function idiomas() {
  const palabras = (p) => p.evaluate(() => {
    const completa = document.getElementById('completa');
    return {
      lang: document.documentElement.lang, completa: [completa.textContent, completa.title],
      otraVez: document.getElementById('boton').textContent,
      controles: [...document.querySelectorAll('[data-tecla]')].map((e) => e.getAttribute('aria-label')),
      terminar: document.querySelector('[data-tecla=Space]').textContent,
    };
  });
  const dice = async (p, l, que) => {
    const d = DICHO[l];
    await esperar(p, (t) => __prueba.texto() === t || `the page says "${__prueba.texto()}"`, `${que}: the prompt`,
                  ESPERA, d.clic);
    const visto = await palabras(p);
    const querido = { lang: l, completa: [d.completa, d.completa], otraVez: d.otraVez,
                      controles: [d.Arriba, d.Izquierda, d.Derecha, d.Abajo, d.Terminar], terminar: d.Terminar };
    if (JSON.stringify(visto) !== JSON.stringify(querido)) {
      await fallo(p, `${que}: the page has ${JSON.stringify(visto)}, wanted ${JSON.stringify(querido)}`);
    }
  };
  // WebKit takes the first language only.
  for (const [lenguas, l, otra] of [[['en-GB', 'es'], 'en', 'es'], [WEBKIT ? ['es-AR'] : ['fr', 'es-AR'], 'es', 'en']]) {
    await conServidor([], (url) => sinDatos((sin) => conNavegador(async (p) => {
      const que = `the browser in ${lenguas.join(', ')}`;
      await p.goto(url);
      await p.evaluate(ayudas);
      await dice(p, l, que);
      await p.goto(sin);
      await p.evaluate(ayudas);
      await esperar(p, (t) => __prueba.texto() === t || `the page says "${__prueba.texto()}"`,
                    `${que}: the missing file named`, ESPERA, DICHO[l].falta);
      await p.goto(url + '?lang=' + otra);
      await p.evaluate(ayudas);
      await dice(p, otra, `${que}, the host asking for ?lang=${otra}`);
    }, undefined, undefined, lenguas)));
    console.log(`  the browser in ${lenguas.join(', ')}: the page in ${l}, and in ${otra} at the host's asking`);
  }
}

// The site on a host without carrera-datos.js: f(url).
async function sinDatos(f) {
  const copia = fs.mkdtempSync(path.join(os.tmpdir(), 'carrera-sitio-'));
  try {
    for (const n of fs.readdirSync(SITIO)) if (n !== 'carrera-datos.js') fs.copyFileSync(path.join(SITIO, n), path.join(copia, n));
    await conServidor([], f, copia);
  } finally {
    fs.rmSync(copia, { recursive: true, force: true });
  }
}

// The site's index.html opened from the disk, no server: the title with its
// tune, and the car driven.
// Past the title by Return, then the car climbs 100 px with Up held.
async function subir(p) {
  await pasarCon(p, 'titulo', () => p.keyboard.press('Enter'));
  await pagina(p, 'carrera', 'the race', [0, 10, 800, 590]);
  const c = await coche(p);
  await p.keyboard.down('ArrowUp');
  await irA(p, c, 0, -100, 'the car to climb');
  await p.keyboard.up('ArrowUp');
}

async function comoFichero() {
  const refs = refsPartida();
  await conNavegador(async (p) => {
    await alClic(p, 'file://' + path.resolve(SITIO, 'index.html'), refs);
    await esperar(p, () => carrera.oido.n > 20000 || `${carrera.oido.n} frames played`, 'the tune');
    const { suma, n } = await p.evaluate(() => carrera.oido);
    if (Math.sqrt(suma / n) < 0.01) await fallo(p, `the tune is silent: RMS ${Math.sqrt(suma / n).toFixed(4)}`);
    await subir(p);
  });
}

// In an iframe of a page from another origin (localhost around 127.0.0.1),
// on plain hosts, the page in the language the iframe's address asks for:
// a click into it, then the whole game by keys.
async function empotrado() {
  const refs = refsPartida();
  const fuera = fs.mkdtempSync(path.join(os.tmpdir(), 'carrera-fuera-'));
  try {
    await conServidor([], (url) => {
      const dentro = url.replace('127.0.0.1', 'localhost');
      fs.writeFileSync(path.join(fuera, 'index.html'), '<!DOCTYPE html><title>Un blog</title><p>Mi juego:</p>' +
                       `<iframe src="${dentro}?lang=en" width="820" height="620" allow="fullscreen"></iframe>`);
      return conServidor([], (casa) => conNavegador(async (p) => {
        await p.goto(casa);
        const marco = await (await p.waitForSelector('iframe')).contentFrame();
        const caja = await p.$eval('iframe', (e) => { const r = e.getBoundingClientRect(); return { x: r.x, y: r.y }; });
        await poner(marco, refs);
        await esperar(marco, (t) => __prueba.texto() === t || `prompt says "${__prueba.texto()}"`,
                      'the start prompt in the iframe, in English', ESPERA, DICHO.en.clic);
        await p.mouse.click(caja.x + 410, caja.y + 310);
        await pagina(marco, 'titulo', 'the title');
        // A click alone gives the game the keys: the host's text clicked, then
        // the game once, and Return sent to the top document, with no look
        // into the iframe in between (WebKit's driver moves the focus into
        // any document it looks into).
        const foco = () => p.evaluate(() => document.activeElement.tagName);
        await p.mouse.click(caja.x + 20, caja.y - 25);
        if (await foco() === 'IFRAME') await fallo(p, 'the iframe kept the focus after a click on the host\'s text');
        await p.mouse.click(caja.x + 410, caja.y + 310);
        const dado = await foco();
        await p.keyboard.press('Enter');
        if (dado !== 'IFRAME') await fallo(p, `a click into the game left the focus on the host's ${dado}`);
        await pagina(marco, 'carrera', 'the race, past the title by one Return after the click', [0, 10, 800, 590]);
        await jugar(marco, {
          pasar: () => p.keyboard.press('Enter'),
          async apretar(...nombres) {
            for (const n of nombres) await p.keyboard.down(FLECHA[n]);
          },
          async soltar() {
            for (const f of Object.values(FLECHA)) await p.keyboard.up(f);
          },
          terminar: (abajo) => (abajo ? p.keyboard.down(ESPACIO) : p.keyboard.up(ESPACIO)),
        }, false);
      }), fuera);
    });
  } finally {
    fs.rmSync(fuera, { recursive: true, force: true });
  }
}
const FLECHA = { Arriba: 'ArrowUp', Abajo: 'ArrowDown', Izquierda: 'ArrowLeft', Derecha: 'ArrowRight' };

// ---- a phone, a gamepad, a key: every way in plays and lets go ---------------

const TELEFONO = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const TUMBADO = { width: 844, height: 390, deviceScaleFactor: 3, isMobile: true, hasTouch: true, isLandscape: true };
const TABLETA = { width: 768, height: 1024, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
const TABLETA_TUMBADA = { width: 1024, height: 768, deviceScaleFactor: 2, isMobile: true, hasTouch: true, isLandscape: true };

function refsPartida() {
  return {
    titulo: referencia('titulo'),
    carrera: referencia('carrera', 300, 490, ARRIBA, 0, ''),
    arriba: referencia('carrera', 300, 90, ARRIBA, 0, ''),
    pista: referencia('carrera', 0, 0, -1, -1, ''),
    resultado: referencia('resultado', 0),
    creditos1: referencia('creditos', 1),
    creditos2: referencia('creditos', 2),
    creditos3: referencia('creditos', 3),
  };
}

// Counts the keyboard events the page hears (a run without keys wants
// none) and its asks to keep the screen lit.
async function contarTeclas(p) {
  await p.evaluateOnNewDocument(() => {
    window.__teclas = 0;
    for (const t of ['keydown', 'keyup', 'keypress']) addEventListener(t, () => { window.__teclas++; }, true);
    window.__velas = 0;
    Object.defineProperty(navigator, 'wakeLock', {
      value: { request: () => { window.__velas++; return Promise.resolve({ release: async () => {} }); } },
    });
  });
}

// Fingers on a touch screen, through the browser's own touch input. The
// controls ('Arriba'...) are found as a screen reader finds them: the
// button of that name in the page's language (dicho).
async function dedos(p, dicho) {
  const cdp = await p.target().createCDPSession();
  let puestos = [];
  const control = async (nombre) => (await p.$(`aria/${dicho[nombre]}[role="button"]`)) ||
    fallo(p, `no button named "${dicho[nombre]}"`);
  const centro = async (nombre) => {
    const r = await (await control(nombre)).boundingBox();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 };
  };
  const d = {
    centro,
    luce: async (nombre) => (await control(nombre)).evaluate((e) => e.classList.contains('pulsado')),
    // Finger id down (or moved) at a control's centre or at {x, y}.
    async poner(id, donde) {
      const { x, y } = typeof donde === 'string' ? await centro(donde) : donde;
      const nuevo = !puestos.some((q) => q.id === id);
      puestos = puestos.filter((q) => q.id !== id).concat({ id, x, y });
      await cdp.send('Input.dispatchTouchEvent', { type: nuevo ? 'touchStart' : 'touchMove', touchPoints: puestos });
    },
    async quitar() {
      puestos = [];
      await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    },
    async tocar(donde) {
      await d.poner(1, donde);
      await d.quitar();
    },
  };
  return d;
}

// Passes the page on the canvas with one touch, button or key: tries until it starts to go.
async function pasarCon(p, nombre, pasa) {
  for (let k = 0; k < 5; k++) {
    await pasa();
    const fin = Date.now() + 5000;
    while (Date.now() < fin) {
      if (await p.evaluate((n) => __prueba.comparar(n) !== 'same', nombre)) return;
      await dormir(20);
    }
  }
  await fallo(p, `${nombre} stayed through five tries`);
}

// Where the car is, from the first whole frame.
async function coche(p) {
  const fin = Date.now() + ESPERA;
  for (;;) {
    const c = await p.evaluate(() => __prueba.coche('pista'));
    if (c) return c;
    if (Date.now() > fin) await fallo(p, 'no whole frame with the car on the track');
    await dormir(20);
  }
}

// After a way in let go, the car stands still over a whole clock second,
// from the clock's next turn: a page held up on a busy machine may still
// show, or play, the steps before the key was let go.
async function quieto(p, que) {
  let a;
  for (let k = 0; k < 2; k++) {
    const r = await p.evaluate(() => __prueba.reloj());
    await esperar(p, (r0) => __prueba.reloj() !== r0 || 'the clock stands', 'the race clock to turn', ESPERA, r);
    if (!k) a = await coche(p);
  }
  const b = await coche(p);
  if (Math.abs(b.x - a.x) > 6 || Math.abs(b.y - a.y) > 6) {
    await fallo(p, `${que}: the car went on from (${a.x},${a.y}) to (${b.x},${b.y})`);
  }
}

// Waits until the car has gone dx, dy (their signs give the way) from where it was.
async function irA(p, desde, dx, dy, que) {
  await esperar(p, (a, x, y) => {
    const c = __prueba.coche('pista');
    if (!c) return 'no car on the track';
    const va = (d, n) => (n > 0 ? d >= n : n < 0 ? d <= n : true);
    return (va(c.x - a.x, x) && va(c.y - a.y, y)) || `car at (${c.x},${c.y}) from (${a.x},${a.y})`;
  }, que, ESPERA, desde, dx, dy);
}

// The race through `manos`, a way in with no keyboard: apretar(...names)
// holds arrows, soltar() lets all go, deslizar(from, to) moves a held arrow
// onto the next, terminar(down) holds or lets go the end, pasar() passes a
// page. From the title (or the race, once past it) to the offer to play again.
async function jugar(p, manos, titulo = true) {
  if (titulo) {
    await pagina(p, 'titulo', 'the title');
    await pasarCon(p, 'titulo', manos.pasar);
  }
  await pagina(p, 'carrera', 'the race with the car at (300,490)', [0, 10, 800, 590]);
  const inicio = { y: (await coche(p)).arriba };

  // Held up to the top bound, at about 100 px/s.
  await manos.apretar('Arriba');
  const vistos = [];
  const hasta = Date.now() + ESPERA;
  for (;;) {
    const c = await p.evaluate(() => __prueba.coche('pista'));
    const a = c ? { y: c.arriba, t: c.t } : { y: null };
    if (c) vistos.push(a);
    if (a.y === inicio.y - 400) break;
    if (Date.now() > hasta) await fallo(p, `the car's top at row ${a.y}, wanted ${inicio.y - 400}; first looks ${JSON.stringify(vistos.slice(0, 3))}`);
    await dormir(10);
  }
  await pagina(p, 'arriba', 'the car at the top bound (300,90)', [0, 10, 800, 590]);
  await manos.soltar();
  const a = vistos.find((v) => v.y <= inicio.y - 50), b = vistos.find((v) => v.y <= inicio.y - 350);
  const v = (a.y - b.y) / (b.t - a.t) * 1000;
  console.log(`  car held up: ${v.toFixed(1)} px/s`);
  if (v < 70 || v > 130) await fallo(p, `the car climbed at ${v.toFixed(1)} px/s, wanted about 100`);

  // Down a while, let go: it stops.
  let c = await coche(p);
  await manos.apretar('Abajo');
  await irA(p, c, 0, 80, 'the car to go down');
  await manos.soltar();
  await quieto(p, 'Abajo let go');
  // Two arrows at once.
  c = await coche(p);
  await manos.apretar('Arriba', 'Derecha');
  await irA(p, c, 30, -30, 'the car to go up and right at once');
  await manos.soltar();
  await quieto(p, 'Arriba and Derecha let go');
  // From one arrow onto the next: the first is let go.
  if (manos.deslizar) {
    c = await coche(p);
    await manos.apretar('Abajo');
    await irA(p, c, 0, 30, 'the car to go down');
    await manos.deslizar('Abajo', 'Derecha');
    c = await coche(p);
    await irA(p, c, 40, 0, 'the car to go right');
    const d = await coche(p);
    if (d.y - c.y > 6) await fallo(p, `Abajo still held after the finger left it: the car went from y ${c.y} to ${d.y}`);
    await manos.soltar();
    await quieto(p, 'the slid finger let go');
  }

  await manos.terminar(true);
  await esperar(p, () => __prueba.pixel(0, 300).join() !== '0,255,0' || 'surround still green', 'the race to end');
  await manos.terminar(false);
  await pagina(p, 'resultado', 'the result page, Vueltas:0');
  let antes = 'resultado';
  for (const k of [1, 2, 3]) {
    await pasarCon(p, antes, manos.pasar);
    antes = 'creditos' + k;
    await pagina(p, antes, 'credit page ' + k);
  }
  await pasarCon(p, antes, manos.pasar);
  await esperar(p, () => __prueba.negro() || 'canvas not black yet', 'the fade to black');
  await esperar(p, () => !document.getElementById('boton').hidden || 'no offer to play again',
                'the offer to play again');
}

// Whether the touch controls show, and where the game sits on the page.
const medidas = (p) => p.evaluate(() => {
  const caja = (e) => { const r = e.getBoundingClientRect(); return { x: r.x, y: r.y, w: r.width, h: r.height }; };
  const controles = [...document.querySelectorAll('[data-tecla]')];
  return {
    juego: caja(document.getElementById('marco')),
    controles: controles.map(caja),
    visibles: controles.filter((e) => e.getClientRects().length && getComputedStyle(e).visibility === 'visible').length,
    vista: { w: innerWidth, h: innerHeight },
    quieta: scrollX === 0 && scrollY === 0 && document.scrollingElement.scrollTop === 0 &&
            (!window.visualViewport || visualViewport.scale === 1),
  };
});

// The first control that lies over the game, if any.
const encima = (m) => m.controles.find((c) => c.x < m.juego.x + m.juego.w && m.juego.x < c.x + c.w &&
                                              c.y < m.juego.y + m.juego.h && m.juego.y < c.y + c.h);

// Opens the page on a desktop and clicks its start prompt, up to the title.
async function alClic(p, url, refs) {
  await p.goto(url);
  await poner(p, refs);
  await esperar(p, (t) => __prueba.texto() === t || `prompt says "${__prueba.texto()}"`,
                'the start prompt', ESPERA, DICHO.es.clic);
  await p.mouse.click(450, 350);
  await pagina(p, 'titulo', 'the title');
}

// Opens the page on a touch screen, up to its start prompt in the words of
// dicho (DICHO's); its fingers.
async function alTacto(p, url, refs, dicho = DICHO.es) {
  await p.goto(url);
  await poner(p, refs);
  await esperar(p, (t) => __prueba.texto() === t || `prompt says "${__prueba.texto()}"`,
                'the start prompt, for touch', ESPERA, dicho.toca);
  return dedos(p, dicho);
}

// A phone, and a tablet, in both orientations play the whole game by touch
// alone, no control over the game; the phone in English and in Spanish, its
// controls found by the names a screen reader says for them.
async function telefono() {
  await porTacto([['portrait', TELEFONO, ['en-GB', 'es']], ['landscape', TUMBADO, ['fr', 'es-AR']]]);
}
async function tableta() {
  await porTacto([['tablet portrait', TABLETA, ['es']], ['tablet landscape', TABLETA_TUMBADA, ['es']]]);
}
async function porTacto(vistas) {
  const refs = refsPartida();
  for (const [nombre, vista, lenguas] of vistas) {
    const dicho = DICHO[lenguas[0].startsWith('en') ? 'en' : 'es'];
    await conServidor([], (url) => conNavegador(async (p) => {
      await contarTeclas(p);
      const d = await alTacto(p, url, refs, dicho);
      // Anywhere on the screen starts it, even off the game.
      await d.tocar({ x: 3, y: vista.height - 3 });
      await pagina(p, 'titulo', 'the title');
      const m = await medidas(p);
      // The game's short side covers at least 90% of a phone's, and 70% of a
      // tablet's (its arrows beside it take more of the width).
      const lado = m.vista.w > m.vista.h ? m.juego.h / m.vista.h : m.juego.w / m.vista.w;
      if (lado < (vista.width > 800 || vista.height > 900 ? 0.7 : 0.9)) {
        await fallo(p, `${nombre}: the game is ${m.juego.w}x${m.juego.h} in ${m.vista.w}x${m.vista.h}`);
      }
      const tapa = encima(m);
      if (m.visibles !== 5 || tapa) {
        await fallo(p, `${nombre}: ${m.visibles} of 5 controls show, ${tapa ? 'one over the game' : 'none over it'}`);
      }
      const medio = { x: m.juego.x + m.juego.w / 2, y: m.juego.y + m.juego.h / 2 };
      let puestos = 0;
      await jugar(p, {
        pasar: () => d.tocar(medio),
        async apretar(...nombres) {
          for (const n of nombres) await d.poner(++puestos, n);
          for (const n of nombres) if (!await d.luce(n)) await fallo(p, `${dicho[n]} held but not lit`);
        },
        soltar: () => d.quitar(),
        async deslizar(de, a) {
          const x = await d.centro(de), y = await d.centro(a);
          for (let k = 1; k <= 4; k++) {
            await d.poner(puestos, { x: x.x + (y.x - x.x) * k / 4, y: x.y + (y.y - x.y) * k / 4 });
          }
        },
        terminar: (abajo) => (abajo ? d.poner(++puestos, 'Terminar') : d.quitar()),
      });
      // Neither a swipe nor a pinch moves the page.
      await d.poner(1, { x: vista.width / 2 - 20, y: vista.height / 2 });
      await d.poner(2, { x: vista.width / 2 + 20, y: vista.height / 2 });
      await d.poner(1, { x: 5, y: 5 });
      await d.poner(2, { x: vista.width - 5, y: vista.height - 5 });
      await d.quitar();
      const fin = await medidas(p);
      if (encima(fin)) await fallo(p, `${nombre}: a control over the game at the end: ${JSON.stringify(encima(fin))}`);
      const { teclas, velas } = await p.evaluate(() => ({ teclas: window.__teclas, velas: window.__velas }));
      if (!fin.quieta || teclas || !velas) {
        await fallo(p, `${nombre}: the page moved: ${!fin.quieta}; ${teclas} key events; ${velas} asks to keep the screen lit`);
      }
    }, undefined, vista, lenguas));
    console.log(`  ${nombre}: played by touch alone, its controls named in ${dicho.Arriba === 'Up' ? 'English' : 'Spanish'}`);
  }
}

// A standard-mapping gamepad plays it all after the start's one tap; the
// touch controls hide meanwhile and come back at a touch.
async function mando() {
  const refs = refsPartida();
  await conServidor([], (url) => conNavegador(async (p) => {
    await contarTeclas(p);
    await p.evaluateOnNewDocument(() => {
      const botones = Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 }));
      window.__mando = { id: 'prueba', index: 0, connected: true, mapping: 'standard',
                         timestamp: 0, buttons: botones, axes: [0, 0, 0, 0] };
      Object.defineProperty(navigator, 'getGamepads', { value: () => [window.__mando, null, null, null] });
    });
    const d = await alTacto(p, url, refs);
    await d.tocar({ x: 3, y: TUMBADO.height - 3 });
    // As the browser says at a real pad's first press.
    await p.evaluate(() => dispatchEvent(new Event('gamepadconnected')));
    // Two of the page's frames, so it has read the pad.
    const leido = () => p.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    const boton = async (b, abajo) => {
      await p.evaluate((i, v) => { __mando.buttons[i].pressed = v; __mando.buttons[i].value = v ? 1 : 0; }, b, abajo);
      await leido();
    };
    const palanca = async (x, y) => {
      await p.evaluate((a, b) => { __mando.axes[0] = a; __mando.axes[1] = b; }, x, y);
      await leido();
    };
    const FLECHAS = { Arriba: 12, Abajo: 13, Izquierda: 14, Derecha: 15 };
    let cara = 0;
    let palo = true;
    await jugar(p, {
      async pasar() {
        await boton(cara, true);
        await boton(cara, false);
        cara = (cara + 1) % 4;
      },
      async apretar(...nombres) {
        // The first climb on the stick, past its dead zone; the rest on the d-pad.
        if (palo) return palanca(0.1, -0.9);
        for (const n of nombres) await boton(FLECHAS[n], true);
      },
      async soltar() {
        if (palo) {
          palo = false;
          // Back inside the dead zone the stick is no arrow.
          await palanca(0.3, -0.3);
          await quieto(p, 'the stick inside its dead zone');
          return palanca(0, 0);
        }
        for (const b of Object.values(FLECHAS)) await boton(b, false);
      },
      terminar: (abajo) => boton(9, abajo),
    });
    const m = await medidas(p);
    if (m.visibles) await fallo(p, `${m.visibles} touch controls show while the gamepad plays`);
    await d.tocar({ x: 3, y: 3 });
    await esperar(p, () => [...document.querySelectorAll('[data-tecla]')].every((e) =>
      getComputedStyle(e).visibility === 'visible') || 'still hidden', 'the touch controls back at a touch');
    const teclas = await p.evaluate(() => window.__teclas);
    if (teclas) await fallo(p, `${teclas} key events in a gamepad's game`);
  }, undefined, TUMBADO));
}

// On a desktop: no touch controls, the game at a whole multiple, and a key
// let go stops the car.
async function escritorio() {
  const refs = refsPartida();
  await conServidor([], (url) => conNavegador(async (p) => {
    await alClic(p, url, refs);
    const m = await medidas(p);
    if (m.visibles || m.juego.w !== 800 || m.juego.h !== 600) {
      await fallo(p, `desktop: ${m.visibles} touch controls show, the game is ${m.juego.w}x${m.juego.h}`);
    }
    await subir(p);
    await quieto(p, 'ArrowUp let go');
  }));
}

// After one visit the service worker keeps the site: with the server gone
// the page loads again and plays the title.
async function sinRed() {
  const refs = { titulo: referencia('titulo') };
  await conServidor([], (url, servidor) => conNavegador(async (p) => {
    await p.goto(url);
    await esperar(p, () => navigator.serviceWorker.controller !== null || 'no service worker in control',
                  'the service worker to take the page');
    const cajas = await p.evaluate(() => caches.keys());
    if (cajas.length !== 1 || !/^carrera-[0-9a-f]{16}$/.test(cajas[0])) {
      await fallo(p, `the caches are ${JSON.stringify(cajas)}, wanted one named after the build`);
    }
    const ido = new Promise((r) => servidor.once('exit', r));
    servidor.kill();
    await ido;
    await p.reload();
    await poner(p, refs);
    await esperar(p, () => __prueba.texto().startsWith('Haz clic') || `the page says "${__prueba.texto()}"`,
                  'the start prompt, offline');
    await p.mouse.click(450, 350);
    await pagina(p, 'titulo', 'the title, offline');
  }));
}

// In the page, before its scripts: a listener between whatever the page
// connects to the speakers and the speakers, which passes the sound on
// as it is and notes the clock's time (Date.now()) at each sound it puts
// out after a silence of 2048 frames; and each key's time, by the same clock.
function oreja() {
  const codigo = `registerProcessor('oreja', class extends AudioWorkletProcessor {
    constructor() { super(); this.silencio = 1e9; }
    process(entradas, salidas) {
      const e = entradas[0], s = salidas[0];
      for (let c = 0; c < s.length && c < e.length; c++) s[c].set(e[c]);
      const izq = e[0];
      if (!izq) { this.silencio += 128; return true; }
      for (let k = 0; k < izq.length; k++) {
        if (izq[k] !== 0) {
          if (this.silencio >= 2048) this.port.postMessage(Date.now());
          this.silencio = 0;
        } else this.silencio++;
      }
      return true;
    }
  });`;
  window.__sonidos = [];
  window.__pulsada = 0;
  addEventListener('keydown', (e) => { window.__pulsada = Date.now() - (performance.now() - e.timeStamp); }, true);
  const conectar = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (destino, ...resto) {
    if (destino instanceof AudioDestinationNode) {
      const ctx = this.context, nodo = this;
      ctx.audioWorklet.addModule('data:text/javascript;charset=utf-8,' + encodeURIComponent(codigo)).then(() => {
        const o = new AudioWorkletNode(ctx, 'oreja', { numberOfInputs: 1, outputChannelCount: [2] });
        o.port.onmessage = (e) => window.__sonidos.push(e.data);
        conectar.call(o, destino);
        nodo.disconnect(destino);
        conectar.call(nodo, o);
      });
    }
    return conectar.call(this, destino, ...resto);
  };
}

// The step heard with its key: the site (sitio) without the tune's
// instruments, so the game plays silent but for its steps; in the race Up
// and Down are pressed in turn, and each press's time (the key event's) is
// set against the time the first frame of the sound that followed went to
// the speakers (oreja): what the worklet puts out. Resolves to the times, ms, of `veces` presses.
async function pasosAlOido(veces, sitio = SITIO) {
  const copia = fs.mkdtempSync(path.join(os.tmpdir(), 'carrera-sin-musica-'));
  try {
    for (const f of fs.readdirSync(sitio)) fs.copyFileSync(path.join(sitio, f), path.join(copia, f));
    const datos = path.join(copia, 'carrera-datos.js');
    fs.writeFileSync(datos, fs.readFileSync(datos, 'utf8').split('\n').filter((l) => !l.includes("'patches.dat'")).join('\n'));
    return await conServidor([], (url) => conNavegador(async (p) => {
      await p.evaluateOnNewDocument(oreja);
      await alClic(p, url, { titulo: referencia('titulo'), carrera: referencia('carrera', 300, 490, ARRIBA, 0, '') });
      await pasarCon(p, 'titulo', () => p.keyboard.press('Enter'));
      await pagina(p, 'carrera', 'the race', [0, 10, 800, 590]);
      const tiempos = [];
      for (let k = 0; k < veces; k++) {
        // After a second of silence; the first once the race's start has settled.
        await dormir(k ? 1000 : 3000);
        const antes = await p.evaluate(() => window.__sonidos.length);
        const flecha = k % 2 ? 'ArrowDown' : 'ArrowUp';
        await p.keyboard.down(flecha);
        await esperar(p, (n) => window.__sonidos.length > n || 'no sound since the key', 'the step heard', ESPERA, antes);
        await p.keyboard.up(flecha);
        tiempos.push(await p.evaluate((n) => window.__sonidos[n] - window.__pulsada, antes));
      }
      return tiempos;
    }), copia);
  } finally {
    fs.rmSync(copia, { recursive: true, force: true });
  }
}

// In Chromium and Firefox, the step is heard well within a tenth of a second
// of its key, even on a busy machine.
async function pasoConTecla() {
  const t = await pasosAlOido(5);
  const mediana = [...t].sort((a, b) => a - b)[t.length >> 1];
  console.log(`key to step, as the page hands it to the speakers: ${t.map((x) => x.toFixed(0)).join(', ')} ms`);
  if (mediana > 100) throw new Error(`the step came ${mediana.toFixed(0)} ms after its key (median of ${t.join(', ')}), wanted at most 100`);
}

module.exports = { referencia, poner, pagina, esperar, conNavegador, conServidor, uso, cpu, pasosAlOido, ARRIBA };

if (require.main === module) (async () => {
  let bien = 0, mal = 0;
  const pedidas = process.argv.slice(2);
  // A phone's touch, a gamepad and the network cut are driven through
  // Chromium's own protocol: Firefox plays the desktop's game, and the site
  // as a file and inside another page. WebKit, through classic WebDriver,
  // plays those too, the desktop's page and the site offline. All three
  // speak both languages and play on a plain host.
  const todas = FIREFOX ? [partidaEntera, pasoConTecla, comoFichero, empotrado, dondeSea, idiomas]
                        : WEBKIT ? [partidaEntera, escritorio, comoFichero, empotrado, sinRed, dondeSea, idiomas]
                        : [partidaEntera, pasoConTecla, telefono, tableta, mando, escritorio, sinRed, comoFichero,
                           empotrado, dondeSea, idiomas];
  for (const f of todas) {
    if (pedidas.length && !pedidas.includes(f.name)) continue;
    const t = Date.now();
    try {
      await f();
      bien++;
      console.log(`ok   ${f.name} (${((Date.now() - t) / 1000).toFixed(1)} s)`);
    } catch (e) {
      mal++;
      console.log(`FAIL ${f.name} (${((Date.now() - t) / 1000).toFixed(1)} s)\n${e.stack}`);
    }
  }
  console.log(`${NAVEGADOR}: ${bien} passed, ${mal} failed`);
  process.exit(mal ? 1 : 0);
})();
