// The page's plain functions: the palette as the desktop shows it, keys
// to the scancodes Allegro's keyboard.h names (ALLEGRO_KEYBOARD_H), and the
// page's language.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const { colores, tecla, caracter } = require('../../web/sitio/reglas.js');
const { idioma, PALABRAS } = require('../../web/sitio/idioma.js');

test('a palette entry shows in the levels the desktop shows, bytes R G B A', () => {
  const paleta = new Uint8Array(1024);
  paleta.set([0, 17, 63], 4);
  const bytes = new Uint8Array(colores(paleta, new Uint32Array(256)).buffer);
  assert.deepStrictEqual([...bytes.subarray(0, 8)], [0, 0, 0, 255, 0, 69, 255, 255]);
});

test('keys reach the game by the names Allegro gives them', () => {
  const h = fs.readFileSync(process.env.ALLEGRO_KEYBOARD_H, 'utf8');
  const valor = (n) => Number(new RegExp(`__allegro_KEY_${n}\\s*=\\s*(\\d+)`).exec(h)[1]);
  const nombres = {
    ArrowUp: 'UP', ArrowDown: 'DOWN', ArrowLeft: 'LEFT', ArrowRight: 'RIGHT', Space: 'SPACE',
    Enter: 'ENTER', Escape: 'ESC', KeyA: 'A', KeyZ: 'Z', Digit0: '0', Digit9: '9',
    Numpad0: '0_PAD', F1: 'F1', F12: 'F12', Backquote: 'TILDE', Semicolon: 'COLON',
    Period: 'STOP', NumpadEnter: 'ENTER_PAD', Pause: 'PAUSE', ShiftLeft: 'LSHIFT',
    ContextMenu: 'MENU', CapsLock: 'CAPSLOCK',
  };
  for (const [codigo, nombre] of Object.entries(nombres)) {
    assert.strictEqual(tecla(codigo), valor(nombre), `${codigo} should be KEY_${nombre}`);
  }
  assert.strictEqual(tecla('LaunchMail'), 0);
  assert.deepStrictEqual(['Enter', 'a', ' ', 'ArrowUp'].map(caracter), [13, 97, 32, 0]);
});

test("the page speaks the first of the browser's languages it has, else English; the host's choice first", () => {
  const casos = [
    [['en-GB', 'es'], null, 'en'],
    [['fr', 'es-AR'], null, 'es'],
    [['ES'], null, 'es'],
    [['fr'], null, 'en'],
    [[], null, 'en'],
    [['en-US'], 'es', 'es'],
    [['es'], 'en-GB', 'en'],
    [['es'], 'fr', 'es'],
  ];
  for (const [lenguas, pedida, l] of casos) {
    assert.strictEqual(idioma(lenguas, pedida), l, `${JSON.stringify(lenguas)} with ?lang=${pedida}`);
  }
  // Every word in both languages, each message naming what it names.
  for (const [clave, es] of Object.entries(PALABRAS.es)) {
    const en = PALABRAS.en[clave];
    assert.ok(en && en !== es, `${clave} in English`);
    assert.strictEqual(en.split('%s').length, es.split('%s').length, `${clave}'s %s`);
  }
  assert.deepStrictEqual(Object.keys(PALABRAS.en), Object.keys(PALABRAS.es));
});
