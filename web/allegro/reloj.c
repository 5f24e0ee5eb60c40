/* The browser's timer, and every wait. The game and the page share the
 * page's one thread, so a wait gives it back to the page (web_dormir: the
 * game's stack is unwound and wound again when the page wakes it) until a
 * timer falls due, the wait's time is up or the page wakes the game (a key,
 * the sound running low, its next frame while racing). On waking,
 * Allegro's timers run for the time the page's clock says has passed since
 * they last ran: a browser that runs its timer late, or a hidden tab that
 * sleeps for seconds, still gets every tick (the game's own cap on late
 * ticks does the rest), so the race clock keeps real time. The sound is
 * topped up as the game goes to sleep. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <emscripten.h>

#include "web.h"

#define POR_MS (TIMERS_PER_SECOND / 1000.0)
/* Timers due within this many ms run now rather than after one more wake:
 * the tune's timer often falls just after the game's tick. */
#define ANTES 1.0

static int puesto;         /* the timer is installed */
static int jugado = 1;     /* the game has run since its last wait: a new frame to paint */
static double antes;       /* the page's clock when the timers last ran, ms */
static double proximo;     /* when the next of them falls due */

static void pasar_tiempo(void)
{
   double ahora = emscripten_get_now() + ANTES;
   long t = (long)((ahora - antes) * POR_MS);
   while (t > 0) {
      long d = t > SECS_TO_TIMER(1) ? SECS_TO_TIMER(1) : t;
      long falta = _handle_timer_tick(d);
      t -= d;
      antes += d / POR_MS;
      proximo = antes + falta / POR_MS;
   }
}

/* Tops up the sound, so what the game just played (a key's step) goes out
 * before it sleeps rather than after, then gives the page its thread until
 * the page's clock reaches fin (ms), a timer falls due or the page wakes the
 * game; then runs the timers that came due. cuadro: the game's wait for its
 * tick, which may end on the page's next frame (juego.js). */
static void dormir_hasta(double fin, int cuadro)
{
   if (puesto && proximo - ANTES < fin)
      fin = proximo - ANTES;
   web_mezclar();
   double ms = fin - emscripten_get_now();
   web_dormir(ms > 0 ? ms : 0, jugado, cuadro);
   jugado = 0;
   if (puesto)
      pasar_tiempo();
}

static int abrir(void)
{
   antes = emscripten_get_now();
   proximo = antes;
   puesto = 1;
   return 0;
}

static void cerrar(void)
{
   puesto = 0;
}

static void descansar(unsigned int ms, void (*f)(void))
{
   double fin = emscripten_get_now() + ms;
   do {
      if (f)
         f();
      dormir_hasta(fin, 0);
   } while (emscripten_get_now() < fin);
   jugado = 1;
}

TIMER_DRIVER timer_web = {
   .id = TIMER_WEB,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Reloj del navegador",
   .init = abrir,
   .exit = cerrar,
   .rest = descansar,
};

/* The game's one wait (game/espera.cpp): until a wake, at most ms. A wake
 * that comes before the wait is kept for it. */
static int avisado;

void web_avisar(void)
{
   avisado = 1;
}

void web_esperar(int ms)
{
   double fin = emscripten_get_now() + ms;
   while (!avisado && emscripten_get_now() < fin)
      dormir_hasta(fin, 1);
   avisado = 0;
   jugado = 1;
}

void web_ceder(void)
{
   dormir_hasta(0, 0);
   jugado = 1;
}
