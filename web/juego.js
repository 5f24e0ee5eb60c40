// The page's start-up: checks that the browser can run the game, loads it,
// holds it behind the start prompt until the first click, tap or key (the
// moment the browser lets sound start), hands the game's drivers to the
// screen, keys and sound (pantalla.js, teclado.js, sonido.js), sets the touch
// controls and gamepads on the same keys (tactil.js, mando.js), keeps the
// screen awake through the race, and offers another race at the end.
// Whatever stops it is said in the page, in the game's language.
'use strict';

// Said when the page is not cross-origin isolated and cannot make itself so.
const sinCabeceras = 'Este servidor no envía las cabeceras que el juego necesita para sus hilos: ' +
  'Cross-Origin-Opener-Policy: same-origin y Cross-Origin-Embedder-Policy: require-corp. ' +
  'Ábrelo desde un servidor que las envíe (script/web --servir), no como fichero.';

// What the page played, for tests and the curious: sum of squares, frames;
// and how many screens it painted, the last when.
const carrera = (window.carrera = { oido: { suma: 0, n: 0 }, cuadros: 0, pintado: 0 });

function pagina() {
  const lienzo = document.getElementById('lienzo');
  const marco = document.getElementById('marco');
  const aviso = document.getElementById('aviso');
  const texto = document.getElementById('texto');
  const boton = document.getElementById('boton');
  let empezar = null;        // where to raise the start, once the game is loaded
  let empezado = false;
  let parado = false;
  let terminado = false;     // the last page has gone: Return or Space plays again

  function decir(mensaje, conBoton) {
    texto.textContent = mensaje;
    boton.hidden = !conBoton;
    aviso.hidden = false;
    aviso.className = conBoton ? 'fin' : '';
  }

  function error(mensaje) {
    if (parado) return;
    parado = true;
    decir(mensaje, false);
    aviso.className = 'error';
  }

  // ---- whether this browser, from this host, can run it ----
  if (typeof WebAssembly !== 'object') {
    error('Este navegador no puede ejecutar el juego: no tiene WebAssembly.');
    return;
  }
  if (!window.crossOriginIsolated) {
    // A host that cannot send the headers: our service worker adds them, and
    // the page loads again under it, once.
    if ('serviceWorker' in navigator && window.isSecureContext &&
        !sessionStorage.getItem('carrera-aislar')) {
      sessionStorage.setItem('carrera-aislar', '1');
      decir('Preparando la página…', false);
      navigator.serviceWorker.register('aislar.js')
        .then(() => navigator.serviceWorker.ready)
        .then(() => location.reload())
        .catch((e) => error(sinCabeceras + ' (' + e.message + ')'));
      return;
    }
    error(sinCabeceras);
    return;
  }
  const hilos = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 5, 4, 1, 3, 1, 1]);
  if (typeof SharedArrayBuffer === 'undefined' || !WebAssembly.validate(hilos)) {
    error('Este navegador no puede ejecutar el juego: le faltan los hilos de WebAssembly ' +
          '(SharedArrayBuffer y memoria compartida).');
    return;
  }
  sessionStorage.removeItem('carrera-aislar');
  // The same service worker keeps the site for playing offline.
  if ('serviceWorker' in navigator && window.isSecureContext) {
    navigator.serviceWorker.register('aislar.js').catch((e) => console.log('sin caché: ' + e.message));
  }

  // ---- what the game's drivers call (web/biblioteca.js) ----
  window.Module = {
    canvas: lienzo,
    print: (t) => console.log(t),
    printErr: (t) => {
      console.error(t);
      // The game says why it stops in one line beginning "carrera: ".
      if (t.startsWith('carrera: ')) error('El juego no puede seguir: ' + t.slice(9));
    },
    onAbort: (e) => error(/wasm/.test(e) ? 'No se pudo cargar carrera.wasm del servidor.'
                                         : 'El juego se detuvo: ' + e),
    carrera: {
      listo(heap, i) {
        empezar = { heap, i };
        if (!empezado) {
          decir(tactil.activo ? 'Toca la pantalla para empezar'
                              : 'Haz clic o pulsa una tecla para empezar', false);
          return;
        }
        Atomics.store(heap, i, 1);
        aviso.hidden = true;
      },
      fin(r) {
        terminado = r === 0;
        if (vela) vela.release().catch(() => {});
        vela = null;
        if (terminado) decir('Fin de la carrera.', true);
        else error('El juego terminó con un error (' + r + ').');
      },
      aviso: (t) => decir(t, false),
      pantalla: abrirPantalla(lienzo, marco),
      teclado(cola, heap, escrito) {
        teclas.cola = cola;
        teclas.heap = heap;
        teclas.escrito = escrito;
      },
      sonido: ponerSonido,
    },
  };

  const completa = document.getElementById('completa');
  // Not every browser has it (an iPhone's has none for a page).
  completa.hidden = !document.fullscreenEnabled;
  completa.addEventListener('click', (e) => {
    e.currentTarget.blur();
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  });

  // ---- the screen stays lit while the race is on ----
  let vela = null;
  function despierto() {
    if (!navigator.wakeLock || document.visibilityState !== 'visible' || !empezado || terminado || parado) return;
    navigator.wakeLock.request('screen').then((v) => { vela = v; }).catch(() => {});
  }
  // The browser lets go of it whenever the page is hidden.
  document.addEventListener('visibilitychange', despierto);

  // ---- the start: the first click, tap or key, which also lets sound begin ----
  function arrancar() {
    if (empezado || parado) return;
    empezado = true;
    despierto();
    abrirSonido();
    if (empezar) Atomics.store(empezar.heap, empezar.i, 1);
    else decir('Cargando…', false);
    aviso.hidden = !!empezar;
  }
  addEventListener('click', arrancar);
  boton.addEventListener('click', (e) => {
    e.stopPropagation();
    location.reload();
  });
  const otraVez = (codigo) => {
    if (terminado && (codigo === 'Enter' || codigo === 'Space')) location.reload();
  };
  escucharTeclado((codigo) => {
    arrancar();
    otraVez(codigo);
  });
  ponerTactil();
  // A gamepad's button cannot start the sound: the first start wants a tap, click or key.
  ponerMando(otraVez);

  // ---- loading the game itself ----
  addEventListener('error', (e) => {
    // The data file's loader throws from its own request when a file fails.
    const m = String(e.message || e).replace(/^Uncaught (Error: )?/, '');
    const f = /\/([^/\s]+\.(data|wasm|js))\b/.exec(m);
    error(f ? `No se pudo cargar ${f[1]} del servidor (${m.split(' : ')[0]}).`
            : 'No se pudo cargar el juego: ' + m);
  });
  const guion = document.createElement('script');
  guion.src = 'carrera.js';
  guion.onerror = () => error('No se pudo cargar el juego: falta carrera.js en el servidor.');
  document.body.appendChild(guion);
}

pagina();
