// The page's gamepads, in the browser's standard mapping, read on the page's
// frames: the d-pad and the left stick are the arrows, the four face buttons
// pass the title and the pages as a key does, Start ends the race as Space
// does. Each change is a press or release through the same queue as the
// keyboard. While a pad is in use the touch controls hide (tactil.js brings
// them back at the next touch).
'use strict';

// Button (standard mapping) -> the key it is.
const BOTONES = [
  [12, 'ArrowUp'], [13, 'ArrowDown'], [14, 'ArrowLeft'], [15, 'ArrowRight'],
  [0, 'Enter'], [1, 'Enter'], [2, 'Enter'], [3, 'Enter'], [9, 'Space'],
];
const MUERTA = 0.5;    // how far the stick must lean before it is an arrow

// alguna(codigo) hears each new press, as the keyboard's does.
function ponerMando(alguna) {
  let antes = {};
  function leer() {
    requestAnimationFrame(leer);
    const ahora = {};
    const mandos = navigator.getGamepads ? navigator.getGamepads() : [];
    for (const m of mandos) {
      if (!m || !m.connected) continue;
      for (const [b, codigo] of BOTONES) if (m.buttons[b] && m.buttons[b].pressed) ahora[codigo] = true;
      const x = m.axes[0] || 0, y = m.axes[1] || 0;
      if (x < -MUERTA) ahora.ArrowLeft = true;
      if (x > MUERTA) ahora.ArrowRight = true;
      if (y < -MUERTA) ahora.ArrowUp = true;
      if (y > MUERTA) ahora.ArrowDown = true;
    }
    for (const codigo in ahora) {
      if (antes[codigo]) continue;
      document.body.classList.add('mando');
      pulsar(codigo, false);
      alguna(codigo);
    }
    for (const codigo in antes) if (!ahora[codigo]) pulsar(codigo, true);
    antes = ahora;
  }
  // Browsers tell of a pad at its first press; until then there is none to
  // read, and asking for them every frame costs the race its smoothness.
  let leyendo = false;
  addEventListener('gamepadconnected', () => {
    if (!leyendo) requestAnimationFrame(leer);
    leyendo = true;
  });
}
