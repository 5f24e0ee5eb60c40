/* What the browser's drivers share: their ids, and the page's side of each
 * (web/biblioteca.js, a --js-library; each runs on the page's own thread while
 * the caller waits). */
#ifndef CARRERA_WEB_H
#define CARRERA_WEB_H

#include <allegro.h>
#include <stdatomic.h>

#define SYSTEM_WEB AL_ID('W', 'E', 'B', ' ')
#define GFX_WEB AL_ID('W', 'E', 'B', 'G')
#define DIGI_WEB AL_ID('W', 'E', 'B', 'D')
#define KEYBOARD_WEB AL_ID('W', 'E', 'B', 'K')

extern GFX_DRIVER gfx_web;
extern DIGI_DRIVER digi_web;
extern KEYBOARD_DRIVER keyboard_web;

/* The game is loaded: the page raises *empezar at the player's first click or key. */
void web_listo(atomic_int *empezar);
/* The game has ended with status r: the page offers another race. */
void web_fin(int r);
void web_titulo(const char *nombre);
void web_mensaje(const char *texto);

/* The screen: w x h bytes a pixel, each an index into paleta's 256 RGB
 * entries of 0-63 (four bytes each); pixels NULL when the screen closes.
 * *cuadro is odd while the game waits, its screen a whole frame. */
void web_pantalla(const unsigned char *pixels, int w, int h, const unsigned char *paleta,
                  const atomic_int *cuadro);

/* The game is about to wait (1) or has woken (0): the page paints only
 * between the two. */
void web_espera(int esperando);

/* Keys: the page writes each key to cola[*escrito % n] (scancode, plus
 * 0x100 when released, plus its character << 16) and then raises *escrito. */
void web_teclado(atomic_int *cola, int n, atomic_int *escrito);

/* Sound: the page plays frames (16-bit stereo) of anillo, n of them, from
 * *leido up to *escrito; returns its rate in Hz, 0 when it has no sound. */
int web_sonido(const short *anillo, int n, atomic_uint *leido, atomic_uint *escrito);

#endif
