// The page around the game: checks that the browser can run it, loads it,
// holds it behind the start prompt until the first click or key (the moment
// the browser lets sound start), paints its screen into the canvas, passes
// the keys, plays its sound, and offers another race at the end. Whatever
// stops it is said in the page, in the game's language.
'use strict';

// ---- plain functions, also held by tests/web/unidad.test.js ---------------

// Allegro's palette has 0-63 levels; the desktop shows v as (v << 2) | (v >> 4).
function colores(paleta, salida) {
  const ocho = (v) => ((v & 63) << 2) | ((v & 63) >> 4);
  for (let i = 0; i < 256; i++) {
    const r = ocho(paleta[i * 4]), g = ocho(paleta[i * 4 + 1]), b = ocho(paleta[i * 4 + 2]);
    // The canvas keeps R, G, B, A in that order in memory: little-endian words.
    salida[i] = (0xff000000 | (b << 16) | (g << 8) | r) >>> 0;
  }
  return salida;
}

// A key by where it sits (KeyboardEvent.code) to Allegro's KEY_* scancode; 0
// for one Allegro has no name for, which still passes a page.
const TECLAS = (() => {
  const t = {};
  for (let i = 0; i < 26; i++) t['Key' + String.fromCharCode(65 + i)] = 1 + i;
  for (let i = 0; i < 10; i++) {
    t['Digit' + i] = 27 + i;
    t['Numpad' + i] = 37 + i;
  }
  for (let i = 1; i <= 12; i++) t['F' + i] = 46 + i;
  const resto = [
    'Escape', 'Backquote', 'Minus', 'Equal', 'Backspace', 'Tab', 'BracketLeft',
    'BracketRight', 'Enter', 'Semicolon', 'Quote', 'Backslash', 'IntlBackslash', 'Comma',
    'Period', 'Slash', 'Space', 'Insert', 'Delete', 'Home', 'End', 'PageUp', 'PageDown',
    'ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'NumpadDivide', 'NumpadMultiply',
    'NumpadSubtract', 'NumpadAdd', 'NumpadDecimal', 'NumpadEnter', 'PrintScreen', 'Pause',
  ];
  resto.forEach((c, i) => { t[c] = 59 + i; });
  const mandos = ['ShiftLeft', 'ShiftRight', 'ControlLeft', 'ControlRight', 'AltLeft',
                  'AltRight', 'MetaLeft', 'MetaRight', 'ContextMenu', 'ScrollLock',
                  'NumLock', 'CapsLock'];
  mandos.forEach((c, i) => { t[c] = 115 + i; });
  return t;
})();

function tecla(codigo) {
  return TECLAS[codigo] || 0;
}

// The character a key gives, as Allegro's key buffer keeps it; 0 for none.
function caracter(nombre) {
  const otros = { Enter: 13, Escape: 27, Backspace: 8, Tab: 9 };
  if (nombre.length === 1) return nombre.charCodeAt(0) & 0x7fff;
  return otros[nombre] || 0;
}

// ---- the page ---------------------------------------------------------------

// Said when the page is not cross-origin isolated and cannot make itself so.
const sinCabeceras = 'Este servidor no envía las cabeceras que el juego necesita para sus hilos: ' +
  'Cross-Origin-Opener-Policy: same-origin y Cross-Origin-Embedder-Policy: require-corp. ' +
  'Ábrelo desde un servidor que las envíe (script/web --servir), no como fichero.';


function pagina() {
  const lienzo = document.getElementById('lienzo');
  const marco = document.getElementById('marco');
  const aviso = document.getElementById('aviso');
  const texto = document.getElementById('texto');
  const boton = document.getElementById('boton');
  const ctx = lienzo.getContext('2d');
  let imagen = ctx.createImageData(800, 600);
  let pixels32 = new Uint32Array(imagen.data.buffer);
  const paleta32 = new Uint32Array(256);
  let pantalla = null;       // the game's screen, or null while it has none
  let paletaJuego = null;
  let empezar = null;        // where to raise the start, once the game is loaded
  let empezado = false;
  let parado = false;
  let terminado = false;     // the last page has gone: Return or Space plays again
  let teclas = null;
  let sonido = null;         // {ctx, nodo, anillo, heap, leido, escrito}
  // What the page played, for tests and the curious: sum of squares, frames;
  // and how many screens it painted, the last when.
  const oido = { suma: 0, n: 0 };
  const carrera = (window.carrera = { oido, cuadros: 0, pintado: 0 });

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
          decir('Haz clic o pulsa una tecla para empezar', false);
          return;
        }
        Atomics.store(heap, i, 1);
        aviso.hidden = true;
      },
      fin(r) {
        terminado = r === 0;
        if (terminado) decir('Fin de la carrera.', true);
        else error('El juego terminó con un error (' + r + ').');
      },
      aviso: (t) => decir(t, false),
      pantalla(pixels, w, h, paleta) {
        pantalla = pixels;
        paletaJuego = paleta;
        if (pixels && (w !== lienzo.width || h !== lienzo.height)) {
          lienzo.width = w;
          lienzo.height = h;
          imagen = ctx.createImageData(w, h);
          pixels32 = new Uint32Array(imagen.data.buffer);
          escalar();
        }
      },
      teclado(cola, heap, escrito) {
        teclas = cola ? { cola, heap, escrito } : null;
      },
      sonido(anillo, heap, leido, escrito) {
        if (!sonido) return 0;
        sonido.anillo = anillo;
        sonido.heap = heap;
        sonido.leido = leido;
        sonido.escrito = escrito;
        return sonido.ctx.sampleRate;
      },
    },
  };

  // ---- the screen: exact pixels, scaled by the page at a whole multiple ----
  function pintar() {
    if (pantalla) {
      colores(paletaJuego, paleta32);
      const n = pixels32.length;
      for (let i = 0; i < n; i++) pixels32[i] = paleta32[pantalla[i]];
      ctx.putImageData(imagen, 0, 0);
      carrera.cuadros++;
      carrera.pintado = performance.now();
    }
    requestAnimationFrame(pintar);
  }
  requestAnimationFrame(pintar);

  function escalar() {
    const d = window.devicePixelRatio || 1;
    const k = Math.min(innerWidth * d / lienzo.width, innerHeight * d / lienzo.height);
    // A window smaller than the game shrinks it; otherwise whole multiples only.
    const veces = k >= 1 ? Math.floor(k) : k;
    marco.style.width = (lienzo.width * veces / d) + 'px';
    marco.style.height = (lienzo.height * veces / d) + 'px';
  }
  addEventListener('resize', escalar);
  escalar();

  document.getElementById('completa').addEventListener('click', (e) => {
    e.currentTarget.blur();
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  });

  // ---- the start: the first click or key, which also lets sound begin ----
  function arrancar() {
    if (empezado || parado) return;
    empezado = true;
    abrirSonido();
    if (empezar) Atomics.store(empezar.heap, empezar.i, 1);
    else decir('Cargando…', false);
    aviso.hidden = !!empezar;
  }
  marco.addEventListener('click', arrancar);
  boton.addEventListener('click', (e) => {
    e.stopPropagation();
    location.reload();
  });

  // ---- keys ----
  function pasar(e, suelta) {
    const t = tecla(e.code);
    // Arrows, Space and the rest drive the game: the page must not scroll.
    if (t && !e.ctrlKey && !e.metaKey && e.code !== 'F11' && e.code !== 'F5') e.preventDefault();
    if (!suelta && !e.repeat) arrancar();
    if (terminado && !suelta && (e.code === 'Enter' || e.code === 'Space')) location.reload();
    if (!teclas || e.repeat) return;
    const n = teclas.cola.length;
    const i = Atomics.load(teclas.heap, teclas.escrito);
    Atomics.store(teclas.cola, i % n, t | (suelta ? 0x100 : 0) | (caracter(e.key) << 16));
    Atomics.store(teclas.heap, teclas.escrito, i + 1);
  }
  addEventListener('keydown', (e) => pasar(e, false));
  addEventListener('keyup', (e) => pasar(e, true));

  // ---- sound: the game's ring of 16-bit stereo frames, played as it comes ----
  function abrirSonido() {
    try {
      const ac = new (window.AudioContext || window.webkitAudioContext)();
      const nodo = ac.createScriptProcessor(2048, 0, 2);
      sonido = { ctx: ac, nodo, anillo: null };
      nodo.onaudioprocess = (ev) => {
        const izq = ev.outputBuffer.getChannelData(0), der = ev.outputBuffer.getChannelData(1);
        const s = sonido;
        let hecho = 0;
        if (s.anillo) {
          const frames = s.anillo.length / 2;
          const l = Atomics.load(s.heap, s.leido);
          const hay = Math.min((Atomics.load(s.heap, s.escrito) - l) >>> 0, izq.length);
          for (let k = 0; k < hay; k++) {
            const j = ((l + k) % frames) * 2;
            izq[k] = s.anillo[j] / 32768;
            der[k] = s.anillo[j + 1] / 32768;
            oido.suma += izq[k] * izq[k];
          }
          oido.n += hay;
          Atomics.store(s.heap, s.leido, (l + hay) >>> 0);
          hecho = hay;
        }
        izq.fill(0, hecho);
        der.fill(0, hecho);
      };
      nodo.connect(ac.destination);
      ac.resume();
    } catch (e) {
      console.error('sin sonido: ' + e);
      sonido = null;
    }
  }

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

if (typeof module === 'object') {
  module.exports = { colores, tecla, caracter };
} else {
  pagina();
}
