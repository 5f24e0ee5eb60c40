/* The browser's keyboard. The page hears the keys (by where they sit on the
 * keyboard, so any layout drives the same) and hands each one straight to
 * Allegro's key handlers while the game waits (web_tecla), which fill key[]
 * and the key buffer as on the desktop and call the game's key callback,
 * whose wake the page then gives. A held key is one press: the browser's
 * repeats are not passed. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <emscripten.h>

#include "web.h"

static int abierto;

/* A press (suelta 0) or release of Allegro's scancode t, with the character it gives. */
EMSCRIPTEN_KEEPALIVE void web_tecla(int t, int suelta, int car)
{
   if (!abierto)
      return;
   if (suelta)
      _handle_key_release(t);
   else
      _handle_key_press(car, t);
}

static int abrir(void)
{
   abierto = 1;
   web_teclado(1);
   return 0;
}

static void cerrar(void)
{
   abierto = 0;
   web_teclado(0);
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
