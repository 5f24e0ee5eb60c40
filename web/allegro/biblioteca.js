// The page's side of the drivers in this folder: each call hands the page
// where in the game's memory to look, or asks it something; the page's
// scripts (web/sitio) do the rest, through Module.carrera.
mergeInto(LibraryManager.library, {
  web_listo: function (empezar) {
    Module.carrera.listo(() => { HEAP32[empezar >> 2] = 1; });
  },
  web_fin: function (r) {
    Module.carrera.fin(r);
  },
  web_titulo: function (nombre) {
    document.title = UTF8ToString(nombre);
  },
  web_mensaje: function (texto) {
    Module.carrera.aviso(UTF8ToString(texto));
  },
  // The one call that gives the page its thread: the game sleeps until the
  // time is up or the page calls Module.carrera.despertar().
  web_dormir__deps: ['$Asyncify'],
  web_dormir: function (ms, nuevo, cuadro) {
    return Asyncify.handleSleep((seguir) => Module.carrera.dormir(ms, seguir, nuevo, cuadro));
  },
  web_pantalla: function (pixels, w, h, paleta, cambios, filas) {
    Module.carrera.pantalla(pixels ? HEAPU8.subarray(pixels, pixels + w * h) : null, w, h,
                            HEAPU8.subarray(paleta, paleta + 1024), HEAP32.subarray(cambios >> 2, (cambios >> 2) + 3),
                            pixels ? HEAPU8.subarray(filas, filas + h) : null);
  },
  web_teclado: function (abierto) {
    Module.carrera.teclado(abierto ? Module._web_tecla : null);
  },
  web_sonido_tasa: function () {
    return Module.carrera.sonido.tasa();
  },
  web_sonido: function (abierto) {
    Module.carrera.sonido.abierto(!!abierto);
  },
  web_sonido_falta: function () {
    return Module.carrera.sonido.falta();
  },
  web_sonido_trozo: function (trozo, n) {
    Module.carrera.sonido.trozo(HEAP16.subarray(trozo >> 1, (trozo >> 1) + n * 2));
  },
});
