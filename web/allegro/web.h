/* What the browser's drivers share: their ids, and the page's side of each
 * (biblioteca.js, a --js-library). The game and the page take turns on the
 * page's one thread: the page runs only while the game waits. */
#ifndef CARRERA_WEB_H
#define CARRERA_WEB_H

#include <allegro.h>

#define SYSTEM_WEB AL_ID('W', 'E', 'B', ' ')
#define GFX_WEB AL_ID('W', 'E', 'B', 'G')
#define DIGI_WEB AL_ID('W', 'E', 'B', 'D')
#define KEYBOARD_WEB AL_ID('W', 'E', 'B', 'K')
#define TIMER_WEB AL_ID('W', 'E', 'B', 'T')

extern GFX_DRIVER gfx_web;
extern DIGI_DRIVER digi_web;
extern KEYBOARD_DRIVER keyboard_web;
extern TIMER_DRIVER timer_web;

/* reloj.c: rest(0), the page has its thread a moment. */
void web_ceder(void);
/* sonido.c: mixes what the page's speaker lacks. */
void web_mezclar(void);

/* The page's side. */
/* The game is loaded: the page sets *empezar and wakes it at the player's
 * first click or key. */
void web_listo(int *empezar);
/* The game has ended with status r: the page offers another race. */
void web_fin(int r);
void web_titulo(const char *nombre);
void web_mensaje(const char *texto);
/* Gives the page its thread for ms (forever if negative), or until it wakes
 * the game sooner (despertar in the page). nuevo: the game has run since its
 * last wait, so its screen may hold a new frame; cuadro: the wait may end
 * on the page's next frame instead, when one is coming. The one call that
 * unwinds. */
void web_dormir(double ms, int nuevo, int cuadro);
/* The screen: w x h bytes a pixel, each an index into paleta's 256 RGB
 * entries of 0-63 (four bytes each); pixels NULL when the screen closes.
 * cambios: the first and last rows drawn since the page last painted, and
 * 1 if the palette was set, which the page clears as it paints; filas, a
 * byte a row, 1 for each row drawn since, cleared with them. */
void web_pantalla(const unsigned char *pixels, int w, int h, const unsigned char *paleta, int *cambios,
                  unsigned char *filas);
/* Keys: the page calls web_tecla() (teclado.c) from now on (1), or no more (0). */
void web_teclado(int abierto);
/* Sound: the page's rate in Hz, 0 when it has none; the game's sound
 * opens (1) or closes (0). */
int web_sonido_tasa(void);
void web_sonido(int abierto);
/* Frames (16-bit stereo) the speaker lacks to stay its lead ahead. */
int web_sonido_falta(void);
/* Hands the speaker n frames at trozo. */
void web_sonido_trozo(const short *trozo, int n);

#endif
