// The page's screen: the game's 8-bit screen, in the game's memory, painted
// into the canvas through its palette on the page's frames (medida.js sizes
// the canvas). The page runs only while the game waits, so what it paints is
// always a whole frame; it paints only new ones (the game has waited again
// since, or the palette moved), and of those only what changed.
'use strict';

const BANDA = 16;  // rows compared and painted together

function abrirPantalla(lienzo, marco) {
  const ctx = lienzo.getContext('2d');
  let imagen = ctx.createImageData(800, 600);
  let pixels32 = new Uint32Array(imagen.data.buffer);
  let copia = new Uint8Array(800 * 600), vieja = new Uint8Array(800 * 600);  // new, and as painted
  let completa = true;  // the canvas shows nothing of the game yet: paint all of it
  const paleta = new Uint8Array(1024);
  const paleta32 = colores(paleta, new Uint32Array(256));
  let pixels = null, suya = null;  // the game's screen and palette, null while it has none
  let pintada = -1;   // the game's wait last painted
  let pidiendo = false;

  function pintar() {
    if (!pixels) return;
    let otra = false;
    for (let i = 0; !otra && i < 1024; i++) otra = suya[i] !== paleta[i];
    if (carrera.esperas === pintada && !otra) return;
    copia.set(pixels);
    if (otra) {
      paleta.set(suya);
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
    pintada = carrera.esperas;
    carrera.cuadros++;
    carrera.pintado = performance.now();
  }

  // The page's frames are asked for only while the game has a screen.
  function cuadro() {
    pidiendo = !!pixels;
    if (!pidiendo) return;
    pintar();
    requestAnimationFrame(cuadro);
  }

  // Its size on the page is medida.js's.
  escalar();

  // What the game's screen driver hands over (web/allegro/biblioteca.js): a
  // closing screen is painted as it was left.
  return function (p, w, h, pal) {
    if (!p && pixels) {
      pintada = -1;
      pintar();
    }
    pixels = p;
    suya = pal;
    pintada = -1;
    completa = true;
    if (p && (w !== lienzo.width || h !== lienzo.height)) {
      lienzo.width = w;
      lienzo.height = h;
      imagen = ctx.createImageData(w, h);
      pixels32 = new Uint32Array(imagen.data.buffer);
      copia = new Uint8Array(w * h);
      vieja = new Uint8Array(w * h);
      escalar();
    }
    if (p && !pidiendo) {
      pidiendo = true;
      requestAnimationFrame(cuadro);
    }
  };
}
