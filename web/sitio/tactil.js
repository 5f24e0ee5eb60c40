// The page on a touch screen: four arrows and "Terminar" beside or below the
// game (index.html, medida.js), each giving the press and release of its key
// through the same queue as the keyboard, and a tap anywhere else for the
// title and the pages that wait for a key. Shown once the page sees a touch,
// or where the pointer is coarse; never on a desktop with mouse and keyboard.
'use strict';

const tactil = { activo: false };

function ponerTactil() {
  const cuerpo = document.body;
  const aviso = document.getElementById('aviso');
  const dedos = new Map();      // finger -> the control it holds, or 'Enter' for a tap
  const encima = new Map();     // control -> how many fingers hold it

  function encender() {
    cuerpo.classList.remove('mando');
    if (tactil.activo) return;
    tactil.activo = true;
    cuerpo.classList.add('tactil');
    escalar();
  }
  if (matchMedia('(pointer: coarse)').matches) encender();

  function control(x, y) {
    const e = document.elementFromPoint(x, y);
    return e && e.closest('[data-tecla]');
  }

  // A control's key is down while any finger is on it.
  function tocar(c, n) {
    const antes = encima.get(c) || 0;
    encima.set(c, antes + n);
    if (antes === 0 && n > 0) {
      c.classList.add('pulsado');
      pulsar(c.dataset.tecla, false);
    } else if (antes + n === 0) {
      c.classList.remove('pulsado');
      pulsar(c.dataset.tecla, true);
    }
  }

  function soltar(id) {
    const c = dedos.get(id);
    dedos.delete(id);
    if (c === 'Enter') pulsar('Enter', true);
    else if (c) tocar(c, -1);
  }

  addEventListener('pointerdown', (e) => {
    if (e.pointerType === 'mouse') return;
    encender();
    const c = control(e.clientX, e.clientY);
    if (c) {
      e.preventDefault();
      dedos.set(e.pointerId, c);
      tocar(c, 1);
    } else if (aviso.hidden && !e.target.closest('button')) {
      // Not while the page speaks (the start, the end): the game does not wait then.
      dedos.set(e.pointerId, 'Enter');
      pulsar('Enter', false);
    }
  });
  // A thumb sliding across the cross presses the arrow it reaches, then lets
  // go of the one it left.
  addEventListener('pointermove', (e) => {
    const antes = dedos.get(e.pointerId);
    if (!dedos.has(e.pointerId) || antes === 'Enter') return;
    const c = control(e.clientX, e.clientY);
    if (c === antes) return;
    if (c) tocar(c, 1);
    if (antes) tocar(antes, -1);
    dedos.set(e.pointerId, c);
  });
  addEventListener('pointerup', (e) => soltar(e.pointerId));
  addEventListener('pointercancel', (e) => soltar(e.pointerId));
  // Fingers lost with the page (a call, another app) are let go.
  addEventListener('blur', () => [...dedos.keys()].forEach(soltar));
  addEventListener('contextmenu', (e) => { if (tactil.activo) e.preventDefault(); });
}
