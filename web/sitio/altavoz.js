// The page's speaker, on the browser's audio thread: plays the 16-bit
// stereo frames the game mixes (web/allegro/sonido.c), posted to it in
// chunks by sonido.js, and tells the page every 512 frames how many it has
// played, with their left side, so the page can keep the game mixing ahead
// of it. The page loads this file as a plain script and hands the audio
// thread its text (a site opened as a file cannot have it fetched).
'use strict';

function altavoz() {
  const INFORME = 512;    // frames between reports

  // The audio thread takes its players only as classes.
  class Altavoz extends AudioWorkletProcessor {
    constructor() {
      super();
      this.cola = [];      // the game's chunks, Int16Array each
      this.dentro = 0;     // frames of the first chunk already played
      this.tocados = 0;    // frames of the game's played in all
      this.oido = new Float32Array(INFORME);   // their left side since the last report
      this.n = 0;
      this.suma = 0;
      this.desde = 0;      // output frames since the last report
      this.callado = false;
      this.corto = false;  // ran out of the game's frames since the last report
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
      if (k < izq.length && this.tocados) this.corto = true;
      izq.fill(0, k);
      der.fill(0, k);
      for (let i = 0; i < k; i++) {
        this.suma += izq[i] * izq[i];
        if (this.n < INFORME) this.oido[this.n++] = izq[i];
        else this.oido[INFORME - 1] = izq[i];
      }
      this.tocados += k;
      this.desde += izq.length;
      // Out of frames, the page hears it once, so it wakes the game.
      if (this.desde >= INFORME || (k < izq.length && !this.callado)) {
        this.callado = k < izq.length;
        this.port.postMessage({ tocados: this.tocados, t: currentTime, suma: this.suma,
                                oido: this.oido.slice(0, this.n), corto: this.corto });
        this.corto = false;
        this.desde = 0;
        this.n = 0;
        this.suma = 0;
      }
      return true;
    }
  }

  registerProcessor('altavoz', Altavoz);
}
