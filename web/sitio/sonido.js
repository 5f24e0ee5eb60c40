// The page's sound: the game mixes in its waits (web/allegro/sonido.c) and
// hands what it mixed to the page, which posts it to the audio worklet
// (altavoz.js) on the browser's audio thread. The game is kept mixing a
// short way ahead of what the worklet plays, so a sound is heard soon after
// its key: it tops up at any wait when a top-up's worth is lacking, or just after
// a key, and its wait is cut short only when little is left (esperaSonido). After
// a gap the lead grows, and after a quiet stretch comes down again step by
// step. Opened at the first click, tap or key, the moment browsers let
// sound start.
'use strict';

let sonido = null;         // {ctx, nodo, pendientes}: chunks wait for the node
const GRABADO = 1 << 17;   // frames of what was played kept, some seconds
const TROZO = 256;         // the game's chunk, frames
const ADELANTO = 0.045;    // s mixed ahead of the worklet, at least;
const SEGURO = 0.015;      // s left, or a third of the lead, when the game is woken for the sound alone
                           // (the audio thread takes 10 ms at once);
const TIC = 0.01;          // s between the race's ticks: the game tops up at a tick, so the race never
                           // wakes for the sound, and it tops up a lead less these two at least, as each
                           // message to the worklet costs the page's thread 0.2-0.4 ms however little it carries;
const TECLA = 30;          // ms after a key that the game tops up at every wait (its next tick or two);
const INICIO = 0.1;        // s at first, while the game loads and the tune's instruments come;
const MAS = 0.7;           // s: the most the lead grows to, on a machine too busy to keep it
const CRECE = 0.045;       // s more at each gap, or twice as much if that is more,
const CALMA = 2;           // and after this many seconds without one,
const PASO = 0.25;         // an eighth of the way back (a chunk at least) each of these

// Resolves once the worklet plays, or the page has no sound.
function abrirSonido() {
  carrera.oido.grabado = new Float32Array(GRABADO);
  try {
    const ac = new (window.AudioContext || window.webkitAudioContext)();
    const tasa = ac.sampleRate;
    sonido = { ctx: ac, nodo: null, pendientes: [], enviados: 0, tocados: 0, t: 0, abierto: false,
               adelanto: Math.ceil(INICIO * tasa), minimo: Math.ceil(ADELANTO * tasa), hueco: 0, bajado: 0,
               perdon: 0, cita: Infinity, tecla: -Infinity };
    // A data: address, not a blob: one: Chromium will not load a worklet
    // from a blob made by a page opened as a file.
    const guion = 'data:text/javascript;charset=utf-8,' + encodeURIComponent(`'use strict';(${altavoz})();`);
    const listo = ac.audioWorklet.addModule(guion).then(() => {
      const nodo = new AudioWorkletNode(ac, 'altavoz', { numberOfInputs: 0, outputChannelCount: [2] });
      nodo.port.onmessage = (e) => oir(e.data);
      nodo.connect(ac.destination);
      sonido.nodo = nodo;
      for (const t of sonido.pendientes) nodo.port.postMessage(t, [t.buffer]);
      sonido.pendientes = [];
    }).catch((e) => console.error('sin sonido: ' + e));
    ac.resume();
    return listo;
  } catch (e) {
    console.error('sin sonido: ' + e);
    sonido = null;
    return Promise.resolve();
  }
}

// What the worklet played since its last report: counted in carrera.oido,
// and the game woken if it should mix more.
function oir({ tocados, t, corto }) {
  const s = sonido, tasa = s.ctx.sampleRate;
  if (corto && t < s.perdon) {
    // Not counted: the game itself held the page then (juego.js).
  } else if (corto) {
    // A gap: the page was held off too long for the lead; a longer one for a while.
    s.adelanto = Math.min(Math.ceil(MAS * tasa), Math.max(2 * s.adelanto, s.adelanto + Math.ceil(CRECE * tasa)));
    s.hueco = t;
  } else if (t - s.hueco > CALMA && t - s.bajado > PASO && s.adelanto > s.minimo) {
    s.adelanto = Math.max(s.minimo, s.adelanto - Math.max(TROZO, Math.floor((s.adelanto - s.minimo) / 8)));
    s.bajado = t;
  }
  const o = carrera.oido;
  for (let k = o.n; k < tocados; k++) o.suma += o.grabado[k % GRABADO] ** 2;
  o.n = tocados;
  s.tocados = tocados;
  s.t = t;
  if (s.abierto && cola() <= seguro()) despertar();
}

// Frames sent and not yet played, by the worklet's last report and the
// audio clock since.
function cola() {
  const s = sonido;
  const desde = s.tocados ? Math.max(0, s.ctx.currentTime - s.t) * s.ctx.sampleRate : 0;
  return s.enviados - Math.min(s.enviados, s.tocados + desde);
}

// Frames left when the game is woken for the sound alone.
function seguro() {
  const s = sonido;
  return Math.max(Math.ceil(SEGURO * s.ctx.sampleRate), Math.floor(s.adelanto / 3));
}

// Frames mixed at once, at least.
function relleno() {
  const s = sonido;
  return Math.max(TROZO, s.adelanto - seguro() - Math.ceil(TIC * s.ctx.sampleRate));
}

// Frames the game should mix now to keep its lead: none until a top-up's
// worth is lacking (the game rounds to its chunks), or the time the sound
// set for it has come: the audio clock moves in steps, and a wake for the
// sound that mixed nothing would only sleep again.
function falta() {
  const s = sonido, f = Math.floor(s.adelanto - cola()), ahora = performance.now();
  return f >= relleno() - TROZO / 2 || ahora >= s.cita || ahora - s.tecla < TECLA ? Math.max(0, f) : 0;
}

// A key came: for a moment the game tops up at every wait, so the sound the
// key starts (a step) goes to the worklet at once.
function teclaAlOido() {
  if (sonido) sonido.tecla = performance.now();
}

// Ms the game may sleep before it must mix again; Infinity without sound.
function esperaSonido() {
  const s = sonido;
  if (!s || !s.abierto || !s.tocados) return Infinity;
  const ms = Math.max(0, (cola() - seguro()) / s.ctx.sampleRate * 1000);
  s.cita = performance.now() + ms - 1;
  return ms;
}

// What the game's sound driver asks of the page (web/allegro/biblioteca.js).
function sonidoDelJuego() {
  return {
    tasa: () => (sonido ? sonido.ctx.sampleRate : 0),
    abierto(si) {
      if (!sonido) return;
      sonido.abierto = si;
      if (si) sonido.enviados = sonido.tocados;
    },
    falta: () => (sonido ? falta() : 0),
    // n frames, the left side kept for carrera.oido; one message a wait.
    trozo(v) {
      const t = v.slice();
      const g = carrera.oido.grabado, n = t.length / 2;
      for (let i = 0, k = sonido.enviados; i < n; i++, k++) g[k % GRABADO] = t[i * 2] / 32768;
      sonido.enviados += n;
      if (sonido.nodo) sonido.nodo.port.postMessage(t, [t.buffer]);
      else sonido.pendientes.push(t);
    },
  };
}
