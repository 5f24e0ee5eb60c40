// The page's keys: every way in (keyboard, and whatever else presses keys)
// writes the same presses and releases into the queue the game's keyboard
// driver reads (web/teclado.c).
'use strict';

const teclas = { cola: null, heap: null, escrito: 0 };

// One press or release of an Allegro scancode, with the character it gives.
function meterTecla(t, suelta, car = 0) {
  if (!teclas.cola) return;
  const n = teclas.cola.length;
  const i = Atomics.load(teclas.heap, teclas.escrito);
  Atomics.store(teclas.cola, i % n, t | (suelta ? 0x100 : 0) | (car << 16));
  Atomics.store(teclas.heap, teclas.escrito, i + 1);
}

// The keyboard: alguna() is told of each new press, so the page can start
// or play again.
function escucharTeclado(alguna) {
  function pasar(e, suelta) {
    const t = tecla(e.code);
    // Arrows, Space and the rest drive the game: the page must not scroll.
    if (t && !e.ctrlKey && !e.metaKey && e.code !== 'F11' && e.code !== 'F5') e.preventDefault();
    if (!suelta && !e.repeat) alguna(e.code);
    if (e.repeat) return;
    meterTecla(t, suelta, caracter(e.key));
  }
  addEventListener('keydown', (e) => pasar(e, false));
  addEventListener('keyup', (e) => pasar(e, true));
}

// A key pressed by touch or a gamepad, named as the keyboard names it
// (KeyboardEvent.code): the game cannot tell it from the key itself.
function pulsar(codigo, suelta) {
  meterTecla(tecla(codigo), suelta, caracter({ Space: ' ', Enter: 'Enter' }[codigo] || ''));
}
