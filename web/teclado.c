/* The browser's keyboard. The page hears the keys (by where they sit on the
 * keyboard, so any layout drives the same) and queues each one in memory it
 * shares with the game; Allegro's background thread empties the queue into
 * Allegro's key handlers, which fill key[] and the key buffer as on the
 * desktop. A held key is one press: the browser's repeats are not passed. */
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>

#include "web.h"

#define N 64
static atomic_int cola[N];
static atomic_int escrito;
static int leido;

static void vaciar(int hilo)
{
   (void)hilo;
   while (leido != atomic_load(&escrito)) {
      int t = atomic_load(&cola[leido % N]);
      leido++;
      if (t & 0x100)
         _handle_key_release(t & 0xff);
      else
         _handle_key_press(t >> 16, t & 0xff);
   }
}

static int abrir(void)
{
   leido = atomic_load(&escrito);
   web_teclado(cola, N, &escrito);
   return _unix_bg_man->register_func(vaciar);
}

static void cerrar(void)
{
   _unix_bg_man->unregister_func(vaciar);
   web_teclado(NULL, 0, NULL);
}

KEYBOARD_DRIVER keyboard_web = {
   .id = KEYBOARD_WEB,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Teclado del navegador",
   .autorepeat = FALSE,
   .init = abrir,
   .exit = cerrar,
};
