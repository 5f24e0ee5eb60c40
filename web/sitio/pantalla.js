// The page's screen: the game's 8-bit screen, in the game's memory, painted
// into the canvas through its palette on the page's frames (medida.js sizes
// the canvas). The page runs only while the game waits, so what it paints is
// always a whole frame; it asks for a frame only when the game has drawn
// (its screen driver notes the rows it drew) or set its palette, paints only
// new ones (the game has waited again since, or the palette moved), and of
// those only what changed.
'use strict';

const BANDA = 16;  // rows compared together

// antes: called at each frame before it paints (juego.js's alCuadro).
function abrirPantalla(lienzo, marco, antes) {
  // Not opaque ({alpha: false}): WebKit then painted it late. Kept in
  // memory, not on the GPU (willReadFrequently): the page only puts pixels
  // from the game's screen, and WebKit on a software GL took twice the CPU
  // for each frame of a canvas on the GPU.
  const ctx = lienzo.getContext('2d', { willReadFrequently: true });
  let imagen = ctx.createImageData(800, 600);
  let pixels32 = new Uint32Array(imagen.data.buffer);
  let vieja = new Uint8Array(800 * 600);  // as painted
  let vieja32 = new Uint32Array(vieja.buffer);
  let completa = true;  // the canvas shows nothing of the game yet: paint all of it
  const paleta = new Uint8Array(1024);
  const paleta32 = colores(paleta, new Uint32Array(256));
  let pixels = null, suya = null, cambios = null;  // the game's screen, palette and notes, null while it has none
  let filas = null;   // and which rows it drew, a byte each
  let pixels32juego = null;
  let pintada = -1;   // the game's wait last painted
  let pidiendo = false;

  const nada = () => cambios[1] < cambios[0] && !cambios[2] && !completa;

  function pintar() {
    if (!pixels) return;
    const otra = cambios[2] !== 0;
    if ((carrera.esperas === pintada && !otra) || nada()) return;
    const todo = otra || completa;
    const w = lienzo.width, h = lienzo.height, palabras = w >> 2;
    const desde = todo ? 0 : cambios[0] - cambios[0] % BANDA, hasta = todo ? h : cambios[1] + 1;
    cambios[0] = 0x7fffffff;
    cambios[1] = -1;
    cambios[2] = 0;
    if (otra) {
      paleta.set(suya);
      colores(paleta, paleta32);
    }
    // Of the rows drawn, only the columns that changed in each band of rows
    // are painted, and bands in a row together: a race frame changes its
    // clock and the car, not the whole track it drew again.
    const nueva = pixels32juego;
    let r0 = -1, r1 = 0, c0 = w, c1 = 0;   // the bands painted next, rows and columns
    for (let y0 = desde; y0 < hasta; y0 += BANDA) {
      const y1 = Math.min(hasta, y0 + BANDA);
      let x0 = 0, x1 = w;
      if (!todo) {
        let a = palabras, b = -1;
        // The track drawn again over itself notes no rows: nothing to compare.
        for (let y = y0; y < y1; y++) {
          if (!filas[y]) continue;
          const f = y * palabras;
          for (let i = 0; i < palabras; i++) {
            if (nueva[f + i] !== vieja32[f + i]) {
              if (i < a) a = i;
              if (i > b) b = i;
            }
          }
        }
        if (b < 0) {
          if (r0 >= 0) ctx.putImageData(imagen, 0, 0, c0, r0, c1 - c0, r1 - r0);
          r0 = -1;
          c0 = w;
          c1 = 0;
          continue;
        }
        x0 = a * 4;
        x1 = b * 4 + 4;
      }
      for (let y = y0; y < y1; y++) {
        for (let i = y * w + x0, fin = y * w + x1; i < fin; i++) pixels32[i] = paleta32[pixels[i]];
      }
      vieja.set(pixels.subarray(y0 * w, y1 * w), y0 * w);
      if (r0 < 0) r0 = y0;
      r1 = y1;
      c0 = Math.min(c0, x0);
      c1 = Math.max(c1, x1);
    }
    if (r0 >= 0) ctx.putImageData(imagen, 0, 0, c0, r0, c1 - c0, r1 - r0);
    filas.fill(0, desde, hasta);
    completa = false;
    pintada = carrera.esperas;
    carrera.cuadros++;
    carrera.pintado = performance.now();
  }

  function cuadro() {
    pidiendo = false;
    antes();
    pintar();
  }

  // Its size on the page is medida.js's.
  escalar();

  // What the game's screen driver hands over (web/allegro/biblioteca.js): a
  // closing screen is painted as it was left.
  const pantalla = function (p, w, h, pal, notas, marcas) {
    if (!p && pixels) {
      pintada = -1;
      cambios[2] = 1;
      pintar();
    }
    pixels = p;
    suya = pal;
    cambios = notas;
    filas = marcas;
    pintada = -1;
    completa = true;
    if (p && (w !== lienzo.width || h !== lienzo.height)) {
      lienzo.width = w;
      lienzo.height = h;
      imagen = ctx.createImageData(w, h);
      pixels32 = new Uint32Array(imagen.data.buffer);
      vieja = new Uint8Array(w * h);
      vieja32 = new Uint32Array(vieja.buffer);
      escalar();
    }
    pixels32juego = p ? new Uint32Array(p.buffer, p.byteOffset, (w * h) >> 2) : null;
    pantalla.mirar();
  };
  // Called at each of the game's waits: a frame is asked for only when
  // there is something new to paint. Says whether one is coming.
  pantalla.mirar = function () {
    if (!pidiendo && pixels && !nada()) pantalla.pedir();
    return pidiendo;
  };
  // A frame, whether or not there is anything to paint in it.
  pantalla.pedir = function () {
    if (pidiendo) return;
    pidiendo = true;
    requestAnimationFrame(cuadro);
  };
  return pantalla;
}
