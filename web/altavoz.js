// The page's speaker, on the browser's audio thread: plays the game's ring
// of 16-bit stereo frames (web/sonido.c) from the memory it shares with the
// game, as it comes, and keeps what it played for web/sonido.js to read.
// The audio thread takes its players only as classes.
'use strict';

class Altavoz extends AudioWorkletProcessor {
  constructor() {
    super();
    this.s = null;   // {anillo, heap, leido, escrito}, or null while the game has no sound
    this.cuenta = null;
    this.grabado = null;
    this.port.onmessage = (e) => {
      if (e.data.cuenta) {
        this.cuenta = e.data.cuenta;
        this.grabado = e.data.grabado;
      } else {
        this.s = e.data.anillo ? e.data : null;
      }
    };
  }

  process(entradas, salidas) {
    const [izq, der] = salidas[0];
    const s = this.s;
    let hay = 0;
    if (s) {
      const frames = s.anillo.length / 2;
      const l = Atomics.load(s.heap, s.leido);
      hay = Math.min((Atomics.load(s.heap, s.escrito) - l) >>> 0, izq.length);
      for (let k = 0; k < hay; k++) {
        const j = ((l + k) % frames) * 2;
        izq[k] = s.anillo[j] / 32768;
        der[k] = s.anillo[j + 1] / 32768;
      }
      Atomics.store(s.heap, s.leido, (l + hay) >>> 0);
    }
    izq.fill(0, hay);
    der.fill(0, hay);
    // Sum of squares and frames played, and the last frames of the left side.
    const c = this.cuenta;
    if (c && hay) {
      const g = this.grabado;
      let suma = 0;
      for (let k = 0; k < hay; k++) {
        suma += izq[k] * izq[k];
        g[(c[1] + k) % g.length] = izq[k];
      }
      c[0] += suma;
      c[1] += hay;
    }
    return true;
  }
}

registerProcessor('altavoz', Altavoz);
