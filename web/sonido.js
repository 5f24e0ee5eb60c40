// The page's sound: the game's ring of 16-bit stereo frames in shared memory
// (web/sonido.c), played by an audio worklet (altavoz.js) on the browser's
// audio thread. Opened at the first click, tap or key, the moment browsers
// let sound start.
'use strict';

let sonido = null;         // {ctx, nodo, anillo}: the ring waits for the node
const GRABADO = 1 << 17;   // frames of what was played kept, some seconds

function abrirSonido() {
  // What the page played, written by the worklet: sum of squares and frames
  // of the left side (carrera.oido), and its last frames.
  const cuenta = new Float64Array(new SharedArrayBuffer(16));
  const grabado = new Float32Array(new SharedArrayBuffer(GRABADO * 4));
  Object.defineProperties(carrera.oido, {
    suma: { get: () => cuenta[0], enumerable: true, configurable: true },
    n: { get: () => cuenta[1], enumerable: true, configurable: true },
  });
  carrera.oido.grabado = grabado;
  try {
    const ac = new (window.AudioContext || window.webkitAudioContext)();
    sonido = { ctx: ac, nodo: null, anillo: null };
    ac.audioWorklet.addModule('altavoz.js').then(() => {
      const nodo = new AudioWorkletNode(ac, 'altavoz', { numberOfInputs: 0, outputChannelCount: [2] });
      nodo.port.postMessage({ cuenta, grabado });
      nodo.connect(ac.destination);
      sonido.nodo = nodo;
      if (sonido.anillo) nodo.port.postMessage(sonido.anillo);
    }).catch((e) => console.error('sin sonido: ' + e));
    ac.resume();
  } catch (e) {
    console.error('sin sonido: ' + e);
    sonido = null;
  }
}

// What the game's sound driver hands over; the page's rate, 0 without sound.
function ponerSonido(anillo, heap, leido, escrito) {
  if (!sonido) return 0;
  sonido.anillo = { anillo, heap, leido, escrito };
  if (sonido.nodo) sonido.nodo.port.postMessage(sonido.anillo);
  return sonido.ctx.sampleRate;
}
