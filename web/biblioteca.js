// The page's side of the drivers in web/*.c: each call runs on the page's
// own thread while the game's thread waits, and hands the page where in the
// shared memory to look (web/juego.js does the rest).
mergeInto(LibraryManager.library, {
  web_listo__proxy: 'sync',
  web_listo__sig: 'vi',
  web_listo: function (empezar) {
    Module.carrera.listo(HEAP32, empezar >> 2);
  },
  web_fin__proxy: 'sync',
  web_fin__sig: 'vi',
  web_fin: function (r) {
    Module.carrera.fin(r);
  },
  web_titulo__proxy: 'sync',
  web_titulo__sig: 'vi',
  web_titulo: function (nombre) {
    document.title = UTF8ToString(nombre);
  },
  web_mensaje__proxy: 'sync',
  web_mensaje__sig: 'vi',
  web_mensaje: function (texto) {
    Module.carrera.aviso(UTF8ToString(texto));
  },
  web_pantalla__proxy: 'sync',
  web_pantalla__sig: 'viiiii',
  web_pantalla: function (pixels, w, h, paleta, cuadro) {
    Module.carrera.pantalla(pixels ? HEAPU8.subarray(pixels, pixels + w * h) : null, w, h,
                            HEAPU8.subarray(paleta, paleta + 1024), HEAP32, cuadro >> 2);
  },
  web_teclado__proxy: 'sync',
  web_teclado__sig: 'viii',
  web_teclado: function (cola, n, escrito) {
    Module.carrera.teclado(cola ? HEAP32.subarray(cola >> 2, (cola >> 2) + n) : null,
                           HEAP32, escrito >> 2);
  },
  web_sonido__proxy: 'sync',
  web_sonido__sig: 'iiiii',
  web_sonido: function (anillo, n, leido, escrito) {
    return Module.carrera.sonido(anillo ? HEAP16.subarray(anillo >> 1, (anillo >> 1) + n * 2) : null,
                                 HEAPU32, leido >> 2, escrito >> 2);
  },
});
