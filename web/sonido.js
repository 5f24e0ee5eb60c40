// The page's sound: the game's ring of 16-bit stereo frames in shared memory
// (web/sonido.c), played as it comes. Opened at the first click or key, the
// moment browsers let sound start.
'use strict';

let sonido = null;         // {ctx, nodo, anillo, heap, leido, escrito}

function abrirSonido() {
  const oido = carrera.oido;
  try {
    const ac = new (window.AudioContext || window.webkitAudioContext)();
    const nodo = ac.createScriptProcessor(2048, 0, 2);
    sonido = { ctx: ac, nodo, anillo: null };
    nodo.onaudioprocess = (ev) => {
      const izq = ev.outputBuffer.getChannelData(0), der = ev.outputBuffer.getChannelData(1);
      const s = sonido;
      let hecho = 0;
      if (s.anillo) {
        const frames = s.anillo.length / 2;
        const l = Atomics.load(s.heap, s.leido);
        const hay = Math.min((Atomics.load(s.heap, s.escrito) - l) >>> 0, izq.length);
        for (let k = 0; k < hay; k++) {
          const j = ((l + k) % frames) * 2;
          izq[k] = s.anillo[j] / 32768;
          der[k] = s.anillo[j + 1] / 32768;
          oido.suma += izq[k] * izq[k];
        }
        oido.n += hay;
        Atomics.store(s.heap, s.leido, (l + hay) >>> 0);
        hecho = hay;
      }
      izq.fill(0, hecho);
      der.fill(0, hecho);
    };
    nodo.connect(ac.destination);
    ac.resume();
  } catch (e) {
    console.error('sin sonido: ' + e);
    sonido = null;
  }
}

// What the game's sound driver hands over; the page's rate, 0 without sound.
function ponerSonido(anillo, heap, leido, escrito) {
  if (!sonido) return 0;
  sonido.anillo = anillo;
  sonido.heap = heap;
  sonido.leido = leido;
  sonido.escrito = escrito;
  return sonido.ctx.sampleRate;
}
