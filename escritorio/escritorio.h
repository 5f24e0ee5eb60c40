/* What the desktop's drivers share: their ids, and the few calls between
 * them. One thread of the system driver's (sistema.c) owns all of SDL's
 * video: it makes the window, hears its events and paints it; the game's
 * thread reaches it only through these calls, so Allegro's API works from
 * the game as it always did. */
#ifndef CARRERA_ESCRITORIO_H
#define CARRERA_ESCRITORIO_H

#include <allegro.h>
#include <SDL.h>

#define SYSTEM_SDL AL_ID('S', 'D', 'L', ' ')
#define GFX_SDL AL_ID('S', 'D', 'L', 'G')
#define DIGI_SDL AL_ID('S', 'D', 'L', 'D')
#define KEYBOARD_SDL AL_ID('S', 'D', 'L', 'K')
#define TIMER_SDL AL_ID('S', 'D', 'L', 'T')

extern SYSTEM_DRIVER system_sdl;
extern GFX_DRIVER gfx_sdl;
extern DIGI_DRIVER digi_sdl;
extern KEYBOARD_DRIVER keyboard_sdl;
extern TIMER_DRIVER timer_sdl;

/* sistema.c: wakes the event thread, to paint or to do what was asked. */
void escritorio_despertar(void);
/* Runs f on the event thread and waits until it has. */
void escritorio_pedir(void (*f)(void));
/* The window, on the event thread; NULL while there is none. */
extern SDL_Window *escritorio_ventana;

/* pantalla.c, on the event thread: opens and closes the window, paints
 * what changed (or says in how many ms it will, -1 when nothing waits),
 * hears its window events; fullscreen on and off. */
void pantalla_abrir(void);
void pantalla_cerrar(void);
int pantalla_pintar(void);
void pantalla_evento(const SDL_Event *e);
void pantalla_completa_cambiar(void);
void pantalla_titulo(const char *nombre);

/* teclado.c, on the event thread: an SDL key event, a pad's key into
 * Allegro (abajo 1 pressed, 0 released), and every key let go. */
void teclado_evento(const SDL_Event *e);
void teclado_tecla(int scancode, int ascii, int abajo);
void teclado_soltar_todo(void);

/* mando.c, on the event thread: pads' events; how many are open. */
void mando_abrir(void);
void mando_cerrar(void);
void mando_evento(const SDL_Event *e);
void mando_soltar_todo(void);
int mando_abiertos(void);

/* reloj.c: waits for n of Allegro's retraces, 70 a second. */
void reloj_retrazado(int n);

#endif
