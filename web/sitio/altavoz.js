// The page's speaker, on the browser's audio thread: plays the 16-bit
// stereo frames the game mixes (web/allegro/sonido.c), posted to it in
// chunks by sonido.js, and tells the page now and then how many it has
// played and when, so the page can keep the game mixing a short way ahead
// of it, and at once when it runs out.
// The page loads this file as a plain script and hands the audio thread
// its text (a site opened as a file cannot have it fetched).
'use strict';

function altavoz() {
  const INFORME = 4096;   // frames between reports, some 0.1 s

  // The audio thread takes its players only as classes.
  class Altavoz extends AudioWorkletProcessor {
    constructor() {
      super();
      this.cola = [];      // the game's chunks, Int16Array each
      this.dentro = 0;     // frames of the first chunk already played
      this.tocados = 0;    // frames of the game's played in all
      this.desde = 0;      // output frames since the last report
      this.callado = false;
      this.corto = false;  // ran out of the game's frames since the last report
      this.vacio = false;  // the last block ran out
      this.port.onmessage = (e) => this.cola.push(e.data);
    }

    process(entradas, salidas) {
      const [izq, der] = salidas[0];
      let k = 0;
      while (k < izq.length && this.cola.length) {
        const t = this.cola[0];
        const m = Math.min(izq.length - k, t.length / 2 - this.dentro);
        for (let i = 0; i < m; i++) {
          const j = (this.dentro + i) * 2;
          izq[k + i] = t[j] / 32768;
          der[k + i] = t[j + 1] / 32768;
        }
        k += m;
        this.dentro += m;
        if (this.dentro * 2 === t.length) {
          this.cola.shift();
          this.dentro = 0;
        }
      }
      // A gap counts once, however long it lasts.
      const seco = k < izq.length;
      if (seco && this.tocados && !this.vacio) this.corto = true;
      this.vacio = seco;
      izq.fill(0, k);
      der.fill(0, k);
      const primero = !this.tocados && k;
      this.tocados += k;
      this.desde += izq.length;
      // Out of frames, the page hears it once, so it wakes the game; and
      // at the first frames played, so it knows the clock they keep.
      if (this.desde >= INFORME || primero || (seco && !this.callado)) {
        this.callado = seco;
        this.port.postMessage({ tocados: this.tocados, t: currentTime + izq.length / sampleRate,
                                corto: this.corto });
        this.corto = false;
        this.desde = 0;
      }
      return true;
    }
  }

  registerProcessor('altavoz', Altavoz);
}
