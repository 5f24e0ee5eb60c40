// The game's size on the page. On a desktop, whole multiples of its pixels
// in device pixels where they fit, so every pixel stays square; with touch
// controls (tactil.js) the game takes all the screen beside them in
// landscape, or its whole width above them in portrait, at any scale: a
// phone's screen has none to spare.
'use strict';

const LADO = 150;      // each column beside the game in landscape, CSS px
const DEBAJO = 200;    // the row below it in portrait

function escalar() {
  const lienzo = document.getElementById('lienzo');
  const marco = document.getElementById('marco');
  const w = lienzo.width, h = lienzo.height;
  // The body's padding is the screen's safe area on a phone, 0 elsewhere.
  const s = getComputedStyle(document.body);
  const ancho = innerWidth - parseFloat(s.paddingLeft) - parseFloat(s.paddingRight);
  const alto = innerHeight - parseFloat(s.paddingTop) - parseFloat(s.paddingBottom);
  let k;
  if (document.body.classList.contains('tactil')) {
    k = ancho > alto ? Math.min(alto / h, (ancho - 2 * LADO) / w)
                     : Math.min(ancho / w, (alto - DEBAJO) / h);
  } else {
    const d = window.devicePixelRatio || 1;
    const m = Math.min(ancho * d / w, alto * d / h);
    // A window smaller than the game shrinks it; otherwise whole multiples only.
    k = (m >= 1 ? Math.floor(m) : m) / d;
  }
  marco.style.width = (w * k) + 'px';
  marco.style.height = (h * k) + 'px';
}
addEventListener('resize', escalar);
