// The page's screen: the game's 8-bit screen, in memory it shares with the
// page, painted into the canvas through its palette on the page's frames,
// and the canvas scaled by the page at a whole multiple.
'use strict';

const pantalla = {
  pixels: null,    // the game's screen, or null while it has none
  paleta: null,
};

function abrirPantalla(lienzo, marco) {
  const ctx = lienzo.getContext('2d');
  let imagen = ctx.createImageData(800, 600);
  let pixels32 = new Uint32Array(imagen.data.buffer);
  const paleta32 = new Uint32Array(256);

  function pintar() {
    if (pantalla.pixels) {
      colores(pantalla.paleta, paleta32);
      const n = pixels32.length;
      const p = pantalla.pixels;
      for (let i = 0; i < n; i++) pixels32[i] = paleta32[p[i]];
      ctx.putImageData(imagen, 0, 0);
      carrera.cuadros++;
      carrera.pintado = performance.now();
    }
    requestAnimationFrame(pintar);
  }
  requestAnimationFrame(pintar);

  // Its size on the page is medida.js's.
  escalar();

  // What the game's screen driver hands over (web/biblioteca.js).
  return function (pixels, w, h, paleta) {
    pantalla.pixels = pixels;
    pantalla.paleta = paleta;
    if (pixels && (w !== lienzo.width || h !== lienzo.height)) {
      lienzo.width = w;
      lienzo.height = h;
      imagen = ctx.createImageData(w, h);
      pixels32 = new Uint32Array(imagen.data.buffer);
      escalar();
    }
  };
}
