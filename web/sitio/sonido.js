// The page's sound: the game mixes in its waits (web/allegro/sonido.c) and
// hands what it mixed to the page, which puts each hand-over in an audio
// buffer that the browser plays on its audio thread right after the one
// before, with no script of the page's there. The game is kept mixing a
// short way ahead of what is heard, so a sound is heard soon after
// its key: it tops up at any wait when a top-up's worth is lacking, or just after
// a key, and its wait is cut short only when little is left (esperaSonido). After
// a gap the lead grows, and after a quiet stretch comes down again step by
// step. Opened at the first click, tap or key, the moment browsers let
// sound start.
'use strict';

let sonido = null;         // {ctx, salida, fin}: the audio context, where the buffers go, when the last ends
const GRABADO = 1 << 17;   // frames of what was played kept, some seconds
const TROZO = 256;         // the game's chunk, frames
const ADELANTO = 0.035;    // s mixed ahead of what is heard, at least;
const SEGURO = 0.01;       // s left, or a third of the lead, when the game is woken for the sound alone
                           // (the audio thread takes 10 ms at once);
const TIC = 0.01;          // s between the race's ticks: the game tops up at a tick, so the race never
                           // wakes for the sound, and it tops up a lead less these two at least, as each
                           // hand-over costs the page's thread and the audio thread alike, however little it carries;
const TECLA = 30;          // ms after a key that the game tops up at every wait (its next tick or two);
const INICIO = 0.1;        // s at first, while the game loads and the tune's instruments come;
const MAS = 0.7;           // s: the most the lead grows to, on a machine too busy to keep it
const CRECE = 0.045;       // s more at each gap, or twice as much if that is more,
const CALMA = 2;           // and after this many seconds without one,
const PASO = 0.25;         // an eighth of the way back (a chunk at least) each of these
const MARGEN = 0.01;       // s after the audio clock that a buffer starts after a gap: the clock
                           // the page sees may be a step behind the audio thread

// Buffers handed over before the browser's sound starts play from its start.
function abrirSonido() {
  carrera.oido.grabado = new Float32Array(GRABADO);
  try {
    const ac = new (window.AudioContext || window.webkitAudioContext)();
    const tasa = ac.sampleRate;
    const salida = ac.createGain();
    salida.connect(ac.destination);
    sonido = { ctx: ac, salida, enviados: 0, fin: 0, abierto: false,
               adelanto: Math.ceil(INICIO * tasa), minimo: Math.ceil(ADELANTO * tasa), hueco: 0, bajado: 0,
               perdon: 0, cita: Infinity, tecla: -Infinity };
    ac.resume();
  } catch (e) {
    console.error('sin sonido: ' + e);
    sonido = null;
  }
}

// Frames handed over and not yet heard, by the audio clock.
function cola() {
  const s = sonido;
  return Math.max(0, Math.round((s.fin - s.ctx.currentTime) * s.ctx.sampleRate));
}

// What was heard since last looked: counted in carrera.oido; and after a
// quiet stretch the lead comes down a step.
function oir() {
  const s = sonido, t = s.ctx.currentTime;
  if (t - s.hueco > CALMA && t - s.bajado > PASO && s.adelanto > s.minimo) {
    s.adelanto = Math.max(s.minimo, s.adelanto - Math.max(TROZO, Math.floor((s.adelanto - s.minimo) / 8)));
    s.bajado = t;
  }
  const o = carrera.oido, tocados = s.enviados - cola();
  for (let k = o.n; k < tocados; k++) o.suma += o.grabado[k % GRABADO] ** 2;
  if (tocados > o.n) o.n = tocados;
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
  oir();
  const s = sonido, f = Math.floor(s.adelanto - cola()), ahora = performance.now();
  return f >= relleno() - TROZO / 2 || ahora >= s.cita || ahora - s.tecla < TECLA ? Math.max(0, f) : 0;
}

// A key came: for a moment the game tops up at every wait, so the sound the
// key starts (a step) is handed over at once.
function teclaAlOido() {
  if (sonido) sonido.tecla = performance.now();
}

// Ms the game may sleep before it must mix again; Infinity without sound.
function esperaSonido() {
  const s = sonido;
  if (!s || !s.abierto || !s.enviados) return Infinity;
  const ms = Math.max(0, (cola() - seguro()) / s.ctx.sampleRate * 1000);
  s.cita = performance.now() + ms - 1;
  return ms;
}

// What the game's sound driver asks of the page (web/allegro/biblioteca.js).
function sonidoDelJuego() {
  return {
    tasa: () => (sonido ? sonido.ctx.sampleRate : 0),
    abierto(si) {
      if (sonido) sonido.abierto = si;
    },
    falta: () => (sonido ? falta() : 0),
    // n frames, played right after the last; the left side kept for carrera.oido.
    trozo(v) {
      const s = sonido, ac = s.ctx, tasa = ac.sampleRate, n = v.length / 2, t = ac.currentTime;
      if (s.fin < t) {
        // Ran out: the page was held off too long for the lead; a longer
        // one for a while. Not counted when the game itself held the page
        // (juego.js), nor before the first.
        if (s.enviados && s.fin >= s.perdon) {
          s.adelanto = Math.min(Math.ceil(MAS * tasa), Math.max(2 * s.adelanto, s.adelanto + Math.ceil(CRECE * tasa)));
          s.hueco = t;
        }
        // What was heard meanwhile is all that was handed over.
        oir();
        s.fin = t + MARGEN;
      }
      const b = ac.createBuffer(2, n, tasa);
      const izq = b.getChannelData(0), der = b.getChannelData(1);
      const g = carrera.oido.grabado;
      for (let i = 0, k = s.enviados; i < n; i++, k++) {
        izq[i] = v[i * 2] / 32768;
        der[i] = v[i * 2 + 1] / 32768;
        g[k % GRABADO] = izq[i];
      }
      const f = ac.createBufferSource();
      f.buffer = b;
      f.connect(s.salida);
      f.start(s.fin);
      s.fin += n / tasa;
      s.enviados += n;
    },
  };
}
