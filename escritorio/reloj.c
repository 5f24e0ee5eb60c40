/* The desktop's timer, on SDL. A thread of its own sleeps until the next of
 * Allegro's timers falls due (Allegro says when: _handle_timer_tick), never
 * looking in between, then runs them for the time that has passed, so the
 * game's 100 ticks a second keep real time; after a stall the game itself
 * drops the ticks it missed. Allegro's simulated retrace, 70 a second, moves
 * here too, and wakes whoever waits for it: vsync() and the fades
 * (pantalla.c). rest() sleeps. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "escritorio.h"

static SDL_Thread *hilo;
static SDL_mutex *cerrojo;
static SDL_cond *aviso;      /* wakes the timer's thread to stop */
static SDL_cond *retrazo;    /* a retrace has come */
static int fin;

static int bucle(void *nada)
{
   (void)nada;
   Uint64 hz = SDL_GetPerformanceFrequency();
   Uint64 antes = SDL_GetPerformanceCounter();
   long falta = 0;  /* Allegro's time until its next timer, TIMERS_PER_SECOND units */
   SDL_LockMutex(cerrojo);
   while (!fin) {
      Uint64 ahora = SDL_GetPerformanceCounter();
      Uint64 pasado = (ahora - antes) * TIMERS_PER_SECOND / hz;
      if ((long)pasado < falta || pasado == 0) {
         Uint64 ms = (long)pasado < falta ?
            ((Uint64)falta - pasado) * 1000 / TIMERS_PER_SECOND + 1 : 1;
         SDL_CondWaitTimeout(aviso, cerrojo, (Uint32)ms);
         continue;
      }
      SDL_UnlockMutex(cerrojo);
      int visto = retrace_count;
      while (pasado > 0) {
         long d = pasado > (Uint64)SECS_TO_TIMER(1) ? SECS_TO_TIMER(1) : (long)pasado;
         falta = _handle_timer_tick(d);
         pasado -= d;
         antes += d * hz / TIMERS_PER_SECOND;
      }
      SDL_LockMutex(cerrojo);
      if (retrace_count != visto)
         SDL_CondBroadcast(retrazo);
   }
   SDL_UnlockMutex(cerrojo);
   return 0;
}

void reloj_retrazado(int n)
{
   if (!hilo) {
      SDL_Delay(n * 1000 / 70);
      return;
   }
   SDL_LockMutex(cerrojo);
   int hasta = retrace_count + n;
   while (retrace_count - hasta < 0 && !fin)
      SDL_CondWaitTimeout(retrazo, cerrojo, 100);
   SDL_UnlockMutex(cerrojo);
}

static int abrir(void)
{
   cerrojo = SDL_CreateMutex();
   aviso = SDL_CreateCond();
   retrazo = SDL_CreateCond();
   fin = 0;
   hilo = SDL_CreateThread(bucle, "carrera-reloj", NULL);
   return hilo ? 0 : -1;
}

static void cerrar(void)
{
   if (hilo) {
      SDL_LockMutex(cerrojo);
      fin = 1;
      SDL_CondBroadcast(aviso);
      SDL_CondBroadcast(retrazo);
      SDL_UnlockMutex(cerrojo);
      SDL_WaitThread(hilo, NULL);
      hilo = NULL;
   }
   SDL_DestroyCond(retrazo);
   SDL_DestroyCond(aviso);
   SDL_DestroyMutex(cerrojo);
}

static void descansar(unsigned int ms, void (*f)(void))
{
   if (!f) {
      SDL_Delay(ms);
      return;
   }
   Uint32 hasta = SDL_GetTicks() + ms;
   do {
      f();
      SDL_Delay(1);
   } while ((Sint32)(hasta - SDL_GetTicks()) > 0);
}

TIMER_DRIVER timer_sdl = {
   .id = TIMER_SDL,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Reloj (SDL)",
   .init = abrir,
   .exit = cerrar,
   .rest = descansar,
};
