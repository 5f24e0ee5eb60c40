// The page's keys: every way in (keyboard, and whatever else presses keys)
// hands the same presses and releases straight to the game's keyboard
// driver (web/allegro/teclado.c), and wakes the game: it may wait for one.
'use strict';

const teclas = { f: null };   // the driver's web_tecla, while the game has a keyboard

// One press or release of an Allegro scancode, with the character it gives.
function meterTecla(t, suelta, car = 0) {
  if (!teclas.f) return;
  teclas.f(t, suelta ? 1 : 0, car);
  teclaAlOido();
  despertar();
}

// The keyboard: alguna() is told of each new press, so the page can start
// or play again.
function escucharTeclado(alguna) {
  function pasar(e, suelta) {
    const t = tecla(e.code);
    // Arrows, Space and the rest drive the game: the page must not scroll.
    if (t && !e.ctrlKey && !e.metaKey && e.code !== 'F11' && e.code !== 'F5') e.preventDefault();
    if (e.repeat) return;
    // The key that starts the game is not one the game hears.
    meterTecla(t, suelta, caracter(e.key));
    if (!suelta) alguna(e.code);
  }
  addEventListener('keydown', (e) => pasar(e, false));
  addEventListener('keyup', (e) => pasar(e, true));
}

// A key pressed by touch or a gamepad, named as the keyboard names it
// (KeyboardEvent.code): the game cannot tell it from the key itself.
function pulsar(codigo, suelta) {
  meterTecla(tecla(codigo), suelta, caracter({ Space: ' ', Enter: 'Enter' }[codigo] || ''));
}
