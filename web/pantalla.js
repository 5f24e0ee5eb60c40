// The page's screen: the game's 8-bit screen, in memory it shares with the
// page, painted into the canvas through its palette on the page's frames
// (medida.js sizes the canvas). Only whole frames
// are painted, and only new ones: the game's screen driver (web/pantalla.c)
// counts its waits, odd while it waits, and the page copies the screen while
// the count stays one odd number it has not painted, or the palette moved.
'use strict';

const BANDA = 16;  // rows compared and painted together

const pantalla = {
  pixels: null,    // the game's screen, or null while it has none
  paleta: null,
  heap: null,      // and its wait count, heap[cuadro]
  cuadro: 0,
};

function abrirPantalla(lienzo, marco) {
  const ctx = lienzo.getContext('2d');
  let imagen = ctx.createImageData(800, 600);
  let pixels32 = new Uint32Array(imagen.data.buffer);
  let copia = new Uint8Array(800 * 600), vieja = new Uint8Array(800 * 600);  // new, and as painted
  let completa = true;  // the canvas shows nothing of the game yet: paint all of it
  const paleta = new Uint8Array(1024), vista = new Uint8Array(1024);
  const paleta32 = colores(paleta, new Uint32Array(256));
  let pintada = -1;   // the wait count last painted

  // Copies a whole frame of the game and paints it, if it is new.
  // entero: the game is held, so its screen is whole whatever the count.
  function pintar(entero = false) {
    const s = pantalla;
    if (!s.pixels) return;
    const n = Atomics.load(s.heap, s.cuadro);
    // Even: the game is drawing, its screen may lack the car.
    if (!(n & 1) && !entero) return;
    vista.set(s.paleta);
    let otra = false;
    for (let i = 0; !otra && i < 1024; i++) otra = vista[i] !== paleta[i];
    if (n === pintada && !otra) return;
    copia.set(s.pixels);
    // The game woke during the copy: this one may be torn, the next is whole.
    if (Atomics.load(s.heap, s.cuadro) !== n && !entero) return;
    if (otra) {
      paleta.set(vista);
      colores(paleta, paleta32);
    }
    // Only the columns that changed in each band of rows are painted: a race
    // frame changes its clock and the car, not the whole track.
    const w = lienzo.width, h = lienzo.height, palabras = w >> 2;
    const nueva = new Uint32Array(copia.buffer), vieja32 = new Uint32Array(vieja.buffer);
    for (let y0 = 0; y0 < h; y0 += BANDA) {
      const y1 = Math.min(h, y0 + BANDA);
      let x0 = 0, x1 = w;
      if (!otra && !completa) {
        let a = palabras, b = -1;
        for (let y = y0; y < y1; y++) {
          const f = y * palabras;
          for (let i = 0; i < palabras; i++) {
            if (nueva[f + i] !== vieja32[f + i]) {
              if (i < a) a = i;
              if (i > b) b = i;
            }
          }
        }
        if (b < 0) continue;
        x0 = a * 4;
        x1 = b * 4 + 4;
      }
      for (let y = y0; y < y1; y++) {
        for (let i = y * w + x0, fin = y * w + x1; i < fin; i++) pixels32[i] = paleta32[copia[i]];
      }
      ctx.putImageData(imagen, 0, 0, x0, y0, x1 - x0, y1 - y0);
    }
    [vieja, copia] = [copia, vieja];
    completa = false;
    pintada = n;
    carrera.cuadros++;
    carrera.pintado = performance.now();
  }

  function cuadro() {
    pintar();
    requestAnimationFrame(cuadro);
  }
  requestAnimationFrame(cuadro);

  // Its size on the page is medida.js's.
  escalar();

  // What the game's screen driver hands over (web/biblioteca.js), the game
  // held until it returns: a closing screen is whole, and is painted last.
  return function (pixels, w, h, paleta, heap, i) {
    if (!pixels && pantalla.pixels) pintar(true);
    pantalla.pixels = pixels;
    pantalla.paleta = paleta;
    pantalla.heap = heap;
    pantalla.cuadro = i;
    pintada = -1;
    completa = true;
    if (pixels && (w !== lienzo.width || h !== lienzo.height)) {
      lienzo.width = w;
      lienzo.height = h;
      imagen = ctx.createImageData(w, h);
      pixels32 = new Uint32Array(imagen.data.buffer);
      copia = new Uint8Array(w * h);
      vieja = new Uint8Array(w * h);
      escalar();
    }
  };
}
