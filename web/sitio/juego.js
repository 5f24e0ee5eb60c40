// The page's start-up: checks that the browser can run the game, loads it,
// holds it behind the start prompt until the first click, tap or key (the
// moment the browser lets sound start), hands the game's drivers to the
// screen, keys and sound (pantalla.js, teclado.js, sonido.js), sets the touch
// controls and gamepads on the same keys (tactil.js, mando.js), keeps the
// screen awake through the race, and offers another race at the end.
// The game and the page share the page's one thread: the page runs while
// the game waits, and wakes it when the wait's time is up, a key comes or
// the sound runs low; racing, at its frames (alCuadro). Whatever stops it
// is said in the page, in the player's language (idioma.js).
'use strict';

// What the page played, for tests and the curious: sum of squares, frames;
// how many times the game waited after running; how many screens it
// painted, the last when.
const carrera = (window.carrera = { oido: { suma: 0, n: 0 }, esperas: 0, cuadros: 0, pintado: 0 });

// The game's wait, while it sleeps: how to wake it, its timer, and when
// its own time comes if the page's next frame is to wake it.
let dormido = null;
// While the screen changes every frame, the game's wait for its tick ends on
// the page's frame: one wake a frame rather than one a tick (and one for the
// tune) besides each frame. The timer stays, later, should frames stop.
const RESPALDO = 25;  // ms

// Ends the game's wait now; nothing if it is not waiting. Only from the
// page's own handlers, never from a call the game makes.
function despertar() {
  if (!dormido) return;
  const { seguir, reloj } = dormido;
  dormido = null;
  clearTimeout(reloj);
  const t = performance.now();
  seguir();
  // The game's own long work (loading its files, the tune's instruments)
  // held the sound up: a longer lead would not have helped.
  if (performance.now() - t > 40 && sonido) sonido.perdon = sonido.ctx.currentTime + 0.2;
}

// At each of the page's frames, before it paints: the game's wait ends if
// its time has come (the game then draws, and its next wait asks for the
// next frame); if not yet, the frame after is asked for.
function alCuadro() {
  if (!dormido || dormido.hasta === Infinity) return;
  if (performance.now() >= dormido.hasta) despertar();
  else Module.carrera.pantalla.pedir();
}

// The program and the data come as scripts (carrera-programa.js and
// carrera-datos.js, each gzip in base64), not fetched, so the site plays
// opened as a file too; the browser ungzips them.
function desempaquetar(b64) {
  return fetch('data:application/octet-stream;base64,' + b64)
    .then((r) => new Response(r.body.pipeThrough(new DecompressionStream('gzip'))).arrayBuffer());
}

function pagina() {
  const lienzo = document.getElementById('lienzo');
  const marco = document.getElementById('marco');
  const aviso = document.getElementById('aviso');
  const texto = document.getElementById('texto');
  const boton = document.getElementById('boton');
  const palabra = palabras();
  let empezar = null;        // raises the start, once the game is loaded
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

  // ---- whether this browser can run it ----
  const falta = typeof WebAssembly !== 'object' ? 'WebAssembly'
    : !(window.AudioContext || window.webkitAudioContext) ? palabra('audio')
    : !window.DecompressionStream ? palabra('descomprimir') : null;
  if (falta) {
    error(palabra('noTiene', falta));
    return;
  }
  // The service worker keeps the site for playing offline; a file needs none.
  if ('serviceWorker' in navigator && window.isSecureContext && location.protocol !== 'file:') {
    navigator.serviceWorker.register('aislar.js').catch((e) => console.log('sin caché: ' + e.message));
  }

  // ---- what the game's drivers call (web/allegro/biblioteca.js) ----
  window.Module = {
    print: (t) => console.log(t),
    printErr: (t) => {
      console.error(t);
      // The game says why it stops in one line beginning "carrera: ".
      if (t.startsWith('carrera: ')) error(palabra('noSigue', t.slice(9)));
    },
    onAbort: (e) => error(palabra('detenido', e)),
    instantiateWasm(importa, listo) {
      cargar('carrera-programa.js')
        .then(() => desempaquetar(carrera.programa))
        .then((b) => WebAssembly.instantiate(b, importa))
        .then((r) => listo(r.instance))
        .catch((e) => error(palabra('noCarga', e.message)));
      return {};
    },
    // The game's files, at the root of its file system, where it looks.
    preRun: [() => {
      Module.addRunDependency('datos');
      cargar('carrera-datos.js')
        .then(() => Promise.all(Object.entries(carrera.datos).map(([nombre, b64]) =>
          desempaquetar(b64).then((b) => Module.FS.writeFile('/' + nombre, new Uint8Array(b))))))
        .then(() => Module.removeRunDependency('datos'))
        .catch((e) => error(palabra('noCarga', e.message)));
    }],
    carrera: {
      listo(f) {
        empezar = f;
        if (!empezado) {
          decir(palabra(tactil.activo ? 'toca' : 'clic'), false);
          return;
        }
        aviso.hidden = true;
        // Once the game has gone to sleep: this is a call the game makes.
        queueMicrotask(() => {
          f();
          despertar();
        });
      },
      fin(r) {
        terminado = r === 0;
        if (vela) vela.release().catch(() => {});
        vela = null;
        if (terminado) decir(palabra('fin'), true);
        else error(palabra('conError', r));
      },
      aviso: (t) => decir(t, false),
      // One timer a wait: the game's own time (RESPALDO at least when a frame
      // is to wake it), or sooner when the sound runs low. Whole
      // milliseconds, rounded up: the browser rounds down, and a wake a
      // little early would only sleep again for what is left.
      dormir(ms, seguir, nuevo, cuadro) {
        if (nuevo) carrera.esperas++;
        const suyo = ms < 0 ? Infinity : ms;
        const alFrame = Module.carrera.pantalla.mirar() && cuadro;
        const t = Math.min(alFrame ? Math.max(suyo, RESPALDO) : suyo, esperaSonido());
        dormido = { seguir, hasta: alFrame ? performance.now() + suyo : Infinity,
                    reloj: t < Infinity ? setTimeout(despertar, Math.ceil(t)) : 0 };
      },
      pantalla: abrirPantalla(lienzo, marco, alCuadro),
      teclado(f) {
        teclas.f = f;
      },
      sonido: sonidoDelJuego(),
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
    // A gamepad's button cannot start the sound: the first start wants a tap,
    // click or key. Listening for pads sets the browser polling them (2% of a
    // core in Chromium), so the start prompt does not.
    ponerMando(otraVez);
    // The sound first: what the game hands it before the browser's sound
    // starts is played from its start, so the tune is heard whole.
    abrirSonido();
    if (empezar) {
      empezar();
      despertar();
    } else {
      decir(palabra('cargando'), false);
    }
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

  // ---- loading the game itself: each file the host lacks is named ----
  const cargados = {};
  function cargar(f) {
    cargados[f] = cargados[f] || new Promise((bien, mal) => {
      const guion = document.createElement('script');
      guion.src = f;
      guion.onload = bien;
      guion.onerror = () => {
        error(palabra(location.protocol === 'file:' ? 'faltaJunto' : 'faltaServidor', f));
        mal(new Error('falta ' + f));
      };
      document.body.appendChild(guion);
    });
    // Said in the page already; those that wait on it stop there.
    cargados[f].catch(() => {});
    return cargados[f];
  }
  // All three at once: the program compiles while the data comes.
  cargar('carrera-programa.js');
  cargar('carrera-datos.js');
  cargar('carrera.js');
}

pagina();
