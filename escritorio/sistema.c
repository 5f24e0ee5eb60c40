/* The desktop's system driver, on SDL. It hands Allegro the desktop's
 * screen, keyboard, timer and sound drivers, and Allegro's own software
 * MIDI player for the tune. One thread of its own (bucle) owns all of SDL's
 * video: it brings it up, makes and paints the window (pantalla.c), hears
 * its keys, pads and close button (teclado.c, mando.c) and does what the
 * game's thread asks of it (escritorio_pedir), so the game calls Allegro
 * from its own thread as it always did. It sleeps in SDL's wait for the
 * next event, which the game's thread wakes when its screen changes; with
 * a pad open, where that wait would look every millisecond, it sleeps ten
 * at a time instead. Allegro's locks are SDL's mutexes. The executable's
 * own _system_driver_list stands in for Allegro's, which lists only this. */
#include <allegro.h>
#include <allegro/internal/aintern.h>
#ifdef _WIN32
#include <winalleg.h>
#else
#include <allegro/platform/aintunix.h>
#include <unistd.h>
#endif

#include <stdio.h>

#include "escritorio.h"

static _DRIVER_INFO pantallas[] = {{GFX_SDL, &gfx_sdl, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO sonidos[] = {{DIGI_SDL, &digi_sdl, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO musicas[] = {{MIDI_DIGMID, &midi_digmid, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO teclados[] = {{KEYBOARD_SDL, &keyboard_sdl, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO relojes[] = {{TIMER_SDL, &timer_sdl, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO ninguno[] = {{0, NULL, 0}};

static _DRIVER_INFO *lista_pantallas(void) { return pantallas; }
static _DRIVER_INFO *lista_sonidos(void) { return sonidos; }
static _DRIVER_INFO *lista_musicas(void) { return musicas; }
static _DRIVER_INFO *lista_teclados(void) { return teclados; }
static _DRIVER_INFO *lista_relojes(void) { return relojes; }
static _DRIVER_INFO *lista_ninguno(void) { return ninguno; }

SDL_Window *escritorio_ventana;
/* The close button's callback, set on the game's thread, called on this one. */
static void *cerrar_juego;

static SDL_Thread *hilo;
static SDL_mutex *cerrojo;
static SDL_cond *aviso;        /* wakes the event thread */
static SDL_cond *hecho;        /* it has started, or done what was asked */
static int despierto;          /* a wake not yet taken */
static int arrancado;          /* 1 SDL's video is up, -1 it could not be */
static int fin;                /* the event thread is to stop */
static void (*pedido)(void);   /* what it is asked to do */
static unsigned hechos;        /* how many it has done */
static SDL_atomic_t empujado;  /* an event is in SDL's queue to wake its wait */
static Uint32 evento_despertar;

void escritorio_despertar(void)
{
   if (!cerrojo)
      return;
   SDL_LockMutex(cerrojo);
   despierto = 1;
   SDL_CondSignal(aviso);
   SDL_UnlockMutex(cerrojo);
   if (evento_despertar && SDL_AtomicCAS(&empujado, 0, 1)) {
      SDL_Event e;
      SDL_zero(e);
      e.type = evento_despertar;
      SDL_PushEvent(&e);
   }
}

void escritorio_pedir(void (*f)(void))
{
   if (!hilo)
      return;
   SDL_LockMutex(cerrojo);
   while (pedido)
      SDL_CondWait(hecho, cerrojo);
   pedido = f;
   unsigned n = hechos;
   SDL_UnlockMutex(cerrojo);
   escritorio_despertar();
   SDL_LockMutex(cerrojo);
   while (hechos == n)
      SDL_CondWait(hecho, cerrojo);
   SDL_UnlockMutex(cerrojo);
}

static void atender(const SDL_Event *e)
{
   switch (e->type) {
   case SDL_KEYDOWN:
   case SDL_KEYUP:
      teclado_evento(e);
      break;
   case SDL_WINDOWEVENT:
      if (e->window.event == SDL_WINDOWEVENT_CLOSE) {
         void (*f)(void) = (void (*)(void))SDL_AtomicGetPtr(&cerrar_juego);
         if (f)
            f();
      } else if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
         /* Keys let go while the window is away never come back to it. */
         teclado_soltar_todo();
         mando_soltar_todo();
      }
      pantalla_evento(e);
      break;
   case SDL_CONTROLLERDEVICEADDED:
   case SDL_CONTROLLERDEVICEREMOVED:
   case SDL_CONTROLLERBUTTONDOWN:
   case SDL_CONTROLLERBUTTONUP:
   case SDL_CONTROLLERAXISMOTION:
      mando_evento(e);
      break;
   }
}

static int bucle(void *nada)
{
   (void)nada;
   int bien = SDL_Init(SDL_INIT_VIDEO) == 0;
   /* With no desktop SDL falls back on drawing nowhere; unless asked for, that is no screen. */
   const char *cual = bien ? SDL_GetCurrentVideoDriver() : NULL;
   if (cual && (!SDL_strcmp(cual, "offscreen") || !SDL_strcmp(cual, "dummy")) &&
       !SDL_getenv("SDL_VIDEODRIVER")) {
      SDL_SetError("no desktop to open a window on");
      SDL_Quit();
      bien = 0;
   }
   if (bien) {
      evento_despertar = SDL_RegisterEvents(1);
      mando_abrir();
   }
   SDL_LockMutex(cerrojo);
   arrancado = bien ? 1 : -1;
   SDL_CondBroadcast(hecho);
   SDL_UnlockMutex(cerrojo);
   if (!bien)
      return 0;

   int espera = 100;
   for (;;) {
      SDL_Event e;
      int hay;
      if (escritorio_ventana && !mando_abiertos()) {
         hay = SDL_WaitEventTimeout(&e, espera);
      } else {
         SDL_LockMutex(cerrojo);
         if (!despierto && !pedido && !fin)
            SDL_CondWaitTimeout(aviso, cerrojo, espera < 10 ? espera : 10);
         SDL_UnlockMutex(cerrojo);
         hay = SDL_PollEvent(&e);
      }
      SDL_AtomicSet(&empujado, 0);
      while (hay) {
         atender(&e);
         hay = SDL_PollEvent(&e);
      }
      SDL_LockMutex(cerrojo);
      despierto = 0;
      void (*f)(void) = pedido;
      int parar = fin;
      SDL_UnlockMutex(cerrojo);
      if (f) {
         f();
         SDL_LockMutex(cerrojo);
         pedido = NULL;
         hechos++;
         SDL_CondBroadcast(hecho);
         SDL_UnlockMutex(cerrojo);
      }
      if (parar)
         break;
      espera = pantalla_pintar();
      if (espera < 0)
         espera = 100;
   }
   mando_cerrar();
   SDL_Quit();
   return 0;
}

#define LARGO_RUTA 4096

#ifdef _WIN32
/* The program's path, in ruta[LARGO_RUTA]; its length, 0 if Windows cannot say. */
static DWORD ruta_programa(wchar_t *ruta)
{
   DWORD n = GetModuleFileNameW(NULL, ruta, LARGO_RUTA);
   return n < LARGO_RUTA ? n : 0;
}

/* Linux's command starts the game in its data folder; on Windows, where a
 * shortcut or a prompt may start it anywhere, its own folder is that. */
static void a_su_carpeta(void)
{
   wchar_t ruta[LARGO_RUTA];
   DWORD n = ruta_programa(ruta);
   while (n > 0 && ruta[n - 1] != L'\\' && ruta[n - 1] != L'/')
      n--;
   ruta[n] = 0;
   if (n > 0)
      SetCurrentDirectoryW(ruta);
}
#endif

/* Allegro looks beside the program for allegro.cfg and patches.dat, and
 * reads allegro.cfg before the driver starts, while it still takes file
 * names for Latin-1, which loses a folder named with accents: from here on
 * they are the system's own, Windows' wide names, Linux's UTF-8. With no
 * path, "./", Allegro's own answer: the working folder. */
static void nombre_programa(char *salida, int tam)
{
#ifdef _WIN32
   wchar_t ruta[LARGO_RUTA];
   int formato = U_UNICODE, hay = ruta_programa(ruta) > 0;
#else
   char ruta[LARGO_RUTA];
   int formato = U_UTF8;
   ssize_t n = readlink("/proc/self/exe", ruta, sizeof ruta - 1);
   int hay = n > 0;
   if (hay)
      ruta[n] = 0;
#endif
   set_filename_encoding(formato);
   if (hay)
      do_uconvert((const char *)ruta, formato, salida, U_CURRENT, tam);
   else
      do_uconvert("./", U_ASCII, salida, U_CURRENT, tam);
}

static int abrir(void)
{
#ifdef _WIN32
   /* Allegro's WinMain (END_OF_MAIN) calls the game's main; SDL's is not used. */
   SDL_SetMainReady();
   a_su_carpeta();
#endif
   os_type = OSTYPE_UNIX;
   os_multitasking = TRUE;
   /* SDL leaves SIGINT and SIGTERM alone: they end the game as they always did. */
   SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
   SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
   SDL_SetHint(SDL_HINT_APP_NAME, "Carrera");
   /* Docks match the window to the menu entry, carrera.desktop, by this. */
   SDL_setenv("SDL_VIDEO_X11_WMCLASS", "carrera", 0);
   SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", "carrera", 0);
   /* On a Wayland desktop its own windows, not Xwayland's; the player's SDL_VIDEODRIVER first. */
   if (SDL_getenv("WAYLAND_DISPLAY") && !SDL_getenv("SDL_VIDEODRIVER"))
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland,x11");

   cerrojo = SDL_CreateMutex();
   aviso = SDL_CreateCond();
   hecho = SDL_CreateCond();
   arrancado = fin = despierto = 0;
   pedido = NULL;
   hilo = SDL_CreateThread(bucle, "carrera-ventana", NULL);
   if (!hilo)
      arrancado = -1;
   SDL_LockMutex(cerrojo);
   while (!arrancado)
      SDL_CondWait(hecho, cerrojo);
   SDL_UnlockMutex(cerrojo);
   if (arrancado < 0) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
      if (hilo)
         SDL_WaitThread(hilo, NULL);
      hilo = NULL;
      return -1;
   }
   return 0;
}

static void cerrar(void)
{
   if (!hilo)
      return;
   /* Woken before it can see fin: once it has, it takes SDL down, and the
    * wake's event would be pushed into a queue being freed. */
   SDL_LockMutex(cerrojo);
   fin = 1;
   escritorio_despertar();
   SDL_UnlockMutex(cerrojo);
   SDL_WaitThread(hilo, NULL);
   hilo = NULL;
   evento_despertar = 0;
}

static char titulo_pedido[256];

static void poner_titulo(void)
{
   pantalla_titulo(titulo_pedido);
}

static void titulo(const char *nombre)
{
   SDL_strlcpy(titulo_pedido, nombre, sizeof titulo_pedido);
   escritorio_pedir(poner_titulo);
}

/* The callback comes on the event thread, at the window's close button. */
static int boton_cerrar(void (*f)(void))
{
   SDL_AtomicSetPtr(&cerrar_juego, (void *)f);
   return 0;
}

static void mensaje(const char *texto)
{
   fputs(texto, stderr);
#ifdef _WIN32
   /* A Windows player has no terminal: a box too. */
   SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Carrera", texto, NULL);
#endif
}

static void ceder(void)
{
   SDL_Delay(0);
}

static void *mutex_nuevo(void)
{
   return SDL_CreateMutex();
}

static void mutex_fuera(void *m)
{
   SDL_DestroyMutex(m);
}

static void mutex_tomar(void *m)
{
   SDL_LockMutex(m);
}

static void mutex_dejar(void *m)
{
   SDL_UnlockMutex(m);
}

static int profundidad(void)
{
   return 32;
}

SYSTEM_DRIVER system_sdl = {
   .id = SYSTEM_SDL,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Escritorio (SDL)",
   .init = abrir,
   .exit = cerrar,
   .get_executable_name = nombre_programa,
#ifndef _WIN32
   .find_resource = _unix_find_resource,
#endif
   .set_window_title = titulo,
   .set_close_button_callback = boton_cerrar,
   .message = mensaje,
   .desktop_color_depth = profundidad,
   .yield_timeslice = ceder,
   .create_mutex = mutex_nuevo,
   .destroy_mutex = mutex_fuera,
   .lock_mutex = mutex_tomar,
   .unlock_mutex = mutex_dejar,
   .gfx_drivers = lista_pantallas,
   .digi_drivers = lista_sonidos,
   .midi_drivers = lista_musicas,
   .keyboard_drivers = lista_teclados,
   .mouse_drivers = lista_ninguno,
   .joystick_drivers = lista_ninguno,
   .timer_drivers = lista_relojes,
};

/* Allegro looks for its system drivers here; the shared library reads this
 * list through its GOT, so the game's own takes its place. */
_DRIVER_INFO _system_driver_list[] = {
   {SYSTEM_SDL, &system_sdl, TRUE},
   {0, NULL, 0}
};
