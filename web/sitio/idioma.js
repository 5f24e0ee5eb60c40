// The page's own words, in Spanish and in English: the first of the
// browser's languages the page has, by its primary subtag, or English. A
// host may choose one with the address's ?lang= (index.html?lang=es), which
// an iframe's src carries too. The game's own screens keep their Spanish.
// Also held by tests/web/unidad.test.js.
'use strict';

// %s in a message is what it names, in order.
const PALABRAS = {
  es: {
    cargando: 'Cargando…',
    clic: 'Haz clic o pulsa una tecla para empezar',
    toca: 'Toca la pantalla para empezar',
    otraVez: 'Jugar otra vez',
    completa: 'Pantalla completa',
    arriba: 'Arriba',
    abajo: 'Abajo',
    izquierda: 'Izquierda',
    derecha: 'Derecha',
    terminar: 'Terminar',
    fin: 'Fin de la carrera.',
    noTiene: 'Este navegador no puede ejecutar el juego: no tiene %s.',
    audio: 'Web Audio, el sonido de las páginas',
    descomprimir: 'DecompressionStream, para descomprimir el juego',
    noSigue: 'El juego no puede seguir: %s',
    detenido: 'El juego se detuvo: %s',
    noCarga: 'No se pudo cargar el juego: %s',
    faltaJunto: 'No se pudo cargar el juego: falta %s junto a index.html.',
    faltaServidor: 'No se pudo cargar el juego: falta %s en el servidor.',
    conError: 'El juego terminó con un error (%s).',
  },
  en: {
    cargando: 'Loading…',
    clic: 'Click or press a key to start',
    toca: 'Tap the screen to start',
    otraVez: 'Play again',
    completa: 'Full screen',
    arriba: 'Up',
    abajo: 'Down',
    izquierda: 'Left',
    derecha: 'Right',
    terminar: 'End',
    fin: 'The race is over.',
    noTiene: 'This browser cannot run the game: it has no %s.',
    audio: 'Web Audio, the sound of web pages',
    descomprimir: 'DecompressionStream, to unpack the game',
    noSigue: 'The game cannot go on: %s',
    detenido: 'The game stopped: %s',
    noCarga: 'The game could not be loaded: %s',
    faltaJunto: 'The game could not be loaded: %s is missing beside index.html.',
    faltaServidor: 'The game could not be loaded: %s is missing on the server.',
    conError: 'The game ended with an error (%s).',
  },
};

// The language for the page: the host's choice if the page has it, else the
// first of the browser's it has, else English.
function idioma(lenguas, pedida) {
  for (const l of [pedida, ...lenguas]) {
    const primera = String(l || '').split('-')[0].toLowerCase();
    if (Object.prototype.hasOwnProperty.call(PALABRAS, primera)) return primera;
  }
  return 'en';
}

// Puts the words in the page's elements, with the document's lang to match;
// gives its messages by name.
function palabras() {
  const l = idioma(navigator.languages || [navigator.language],
                   new URLSearchParams(location.search).get('lang'));
  const p = PALABRAS[l];
  document.documentElement.lang = l;
  document.getElementById('texto').textContent = p.cargando;
  document.getElementById('boton').textContent = p.otraVez;
  const completa = document.getElementById('completa');
  completa.textContent = completa.title = p.completa;
  const nombres = { ArrowUp: p.arriba, ArrowDown: p.abajo, ArrowLeft: p.izquierda,
                    ArrowRight: p.derecha, Space: p.terminar };
  for (const c of document.querySelectorAll('[data-tecla]')) c.setAttribute('aria-label', nombres[c.dataset.tecla]);
  document.querySelector('[data-tecla=Space]').textContent = p.terminar;
  // The message by its name, with what it names in place of each %s.
  return (clave, ...que) => que.reduce((t, q) => t.replace('%s', () => q), p[clave]);
}

if (typeof module === 'object') module.exports = { idioma, PALABRAS };
