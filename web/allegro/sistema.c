/* The browser's system driver. The game runs on the page's own thread, with
 * no thread of Allegro's beside it: its timer runs in the game's waits
 * (reloj.c), keys come straight from the page's handlers (teclado.c) and the
 * sound is mixed in the waits too (sonido.c). This driver hands Allegro
 * those drivers and the screen's, and holds the game back until the
 * player's first click or key, when the page may start sound: the title
 * and its tune then begin together. */
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>

#include "web.h"

static _DRIVER_INFO pantallas[] = {
   {GFX_WEB, &gfx_web, TRUE},
   {0, NULL, 0}
};

static _DRIVER_INFO sonidos[] = {
   {DIGI_WEB, &digi_web, TRUE},
   {0, NULL, 0}
};

static _DRIVER_INFO teclados[] = {
   {KEYBOARD_WEB, &keyboard_web, TRUE},
   {0, NULL, 0}
};

static _DRIVER_INFO relojes[] = {
   {TIMER_WEB, &timer_web, TRUE},
   {0, NULL, 0}
};

static _DRIVER_INFO *lista_pantallas(void) { return pantallas; }
static _DRIVER_INFO *lista_sonidos(void) { return sonidos; }
static _DRIVER_INFO *lista_teclados(void) { return teclados; }
static _DRIVER_INFO *lista_relojes(void) { return relojes; }

static int abrir(void)
{
   os_type = OSTYPE_UNIX;
   os_multitasking = TRUE;
   return 0;
}

static void cerrar(void)
{
}

static void titulo(const char *nombre)
{
   web_titulo(nombre);
}

/* The page has no close button of its own: the callback is kept, never called. */
static int boton_cerrar(void (*f)(void))
{
   (void)f;
   return 0;
}

static void mensaje(const char *texto)
{
   web_mensaje(texto);
}

/* rest(0): the page has its thread for a moment. */
static void ceder(void)
{
   web_ceder();
}

SYSTEM_DRIVER system_web = {
   .id = SYSTEM_WEB,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Navegador",
   .init = abrir,
   .exit = cerrar,
   .get_executable_name = _unix_get_executable_name,
   .find_resource = _unix_find_resource,
   .set_window_title = titulo,
   .set_close_button_callback = boton_cerrar,
   .message = mensaje,
   .yield_timeslice = ceder,
   .create_mutex = _unix_create_mutex,
   .destroy_mutex = _unix_destroy_mutex,
   .lock_mutex = _unix_lock_mutex,
   .unlock_mutex = _unix_unlock_mutex,
   .gfx_drivers = lista_pantallas,
   .digi_drivers = lista_sonidos,
   .keyboard_drivers = lista_teclados,
   .timer_drivers = lista_relojes,
};

/* The game's main, renamed by allegro.h; this main stands in for Allegro's
 * own, which the linker then leaves out. */
#undef main
extern int __crt0_argc;
extern char **__crt0_argv;
extern void *_mangled_main_address;

int main(int argc, char *argv[])
{
   int (*juego)(int, char *[]) = (int (*)(int, char *[]))_mangled_main_address;
   static int empezar;

   __crt0_argc = argc;
   __crt0_argv = argv;
   web_listo(&empezar);
   while (!empezar)
      web_dormir(-1, 0, 0);
   int r = juego(argc, argv);
   allegro_exit();
   web_fin(r);
   return r;
}
