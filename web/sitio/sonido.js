// The page's sound: the game mixes in its waits (web/allegro/sonido.c) and
// hands each chunk to the page, which posts it to the audio worklet
// (altavoz.js) on the browser's audio thread. The game is kept mixing a
// little ahead of what the worklet plays: its reports wake the game when
// it runs low. Opened at the first click, tap or key, the moment browsers
// let sound start.
'use strict';

let sonido = null;         // {ctx, nodo, pendientes}: chunks wait for the node
const GRABADO = 1 << 17;   // frames of what was played kept, some seconds
const ADELANTO = 8 * 1024; // frames mixed ahead of the speaker, under a fifth of a second,
const MAS = 32 * 1024;     // and up to some 0.7 s on a machine too busy to keep that
const TROZO = 1024;        // the game's chunk

// Resolves once the worklet plays, or the page has no sound.
function abrirSonido() {
  carrera.oido.grabado = new Float32Array(GRABADO);
  try {
    const ac = new (window.AudioContext || window.webkitAudioContext)();
    sonido = { ctx: ac, nodo: null, pendientes: [], enviados: 0, tocados: 0, t: 0, adelanto: ADELANTO };
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

// What the worklet played since its last report: kept for carrera.oido, and
// the game woken if it should mix more.
function oir({ tocados, t, suma, oido, corto }) {
  // A gap: the page was held off too long for the lead; from now on a longer one.
  if (corto) sonido.adelanto = Math.min(MAS, sonido.adelanto + 2 * TROZO);
  const o = carrera.oido;
  for (let k = 0; k < oido.length; k++) o.grabado[(o.n + k) % GRABADO] = oido[k];
  o.n += oido.length;
  o.suma += suma;
  sonido.tocados = tocados;
  sonido.t = t;
  if (falta() >= TROZO) despertar();
}

// Frames the game should mix now: what is sent and not yet played, by the
// worklet's last report and the audio clock since, short of the lead.
function falta() {
  const s = sonido;
  const desde = s.tocados ? Math.max(0, s.ctx.currentTime - s.t) * s.ctx.sampleRate : 0;
  const tocados = Math.min(s.enviados, s.tocados + desde);
  return Math.max(0, Math.floor(s.adelanto - (s.enviados - tocados)));
}

// What the game's sound driver asks of the page (web/allegro/biblioteca.js).
function sonidoDelJuego() {
  return {
    tasa: () => (sonido ? sonido.ctx.sampleRate : 0),
    abierto(si) {
      if (!si) return;
      sonido.enviados = sonido.tocados;
    },
    falta: () => (sonido ? falta() : 0),
    trozo(v) {
      const t = v.slice();
      sonido.enviados += t.length / 2;
      if (sonido.nodo) sonido.nodo.port.postMessage(t, [t.buffer]);
      else sonido.pendientes.push(t);
    },
  };
}
