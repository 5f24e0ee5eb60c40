// The page's plain rules, also held by tests/web/unidad.test.js: the palette
// as the desktop shows it, and keys as Allegro names them.
'use strict';

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

if (typeof module === 'object') module.exports = { colores, tecla, caracter };
