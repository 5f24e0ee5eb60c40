// The whole game, top to bottom as it plays: bring-up, title, race screen,
// race loop, closing pages.
#include <allegro.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "chequeo.h"
#include "datos.h"
#include "espera.h"
#include "reglas.h"
#include "timers.h"

// The game cannot go on: say why and stop with status 1.
static int parar(const char *porque)
{
   std::fprintf(stderr, "carrera: %s\n", porque);
#ifdef ALLEGRO_WINDOWS
   // A Windows player has no terminal to read it in: show it in a box too.
   allegro_message("carrera: %s\n", porque);
#endif
   return 1;
}

// The same once the screen is open: close it first so the message is seen.
static int parar_pantalla(const char *porque)
{
   set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
   return parar(porque);
}

// The close button quits from any screen; keys keep their old meaning. It
// comes on Allegro's own thread, so it only raises this flag and wakes the waits.
static std::atomic<bool> cerrar{false};
static void boton_cerrar()
{
   cerrar = true;
   avisar();
}

// A key wakes the title and the pages at once. Allegro calls this just before
// it puts the key in the buffer, so the wait gives it a millisecond to land.
static void tecla_avisa(int)
{
   avisar();
}

// Waits for a key and takes it; false if the close button came first. It
// sleeps between looks, where it once looked every millisecond.
static bool tecla_o_cierre()
{
   while (!keypressed()) {
      if (cerrar)
         return false;
      esperar();
      if (!keypressed())
         rest(1);
   }
   readkey();
   return true;
}

static void cambio_pagina()
{
   fade_out(1);
   clear_bitmap(screen);
   fade_in(default_palette, 64);
}

// Empty the buffer first, or keys pressed in the race would pass this page at once.
static bool esperar_tecla()
{
   clear_keybuf();
   return tecla_o_cierre();
}

static void linea(int y, const char *texto)
{
   textprintf_ex(screen, font, 0, y, 255, 0, "%s", texto);
}

// One arrow key held: redraw the track over the old car, count its checkpoint,
// step, draw the car facing that way and play the step sound.
static void conducir(DATAFILE *datos, const tecla &t, int imagen, unsigned &x,
                     unsigned &y, int &marcas)
{
   blit((BITMAP *)datos[PISTA].dat, screen, 0, 0, 163, 90, 513, 498);
   // A key held against a bound still redraws and plays; only the step is skipped.
   marcas += mover(t, x, y);
   draw_rle_sprite(screen, (RLE_SPRITE *)datos[imagen].dat, x, y);
   play_sample((SAMPLE *)datos[MOTOR].dat, 128, 128, 1000, 0);
}

int main(int argc, char *argv[])
{
   (void)argc;
   DATAFILE *datos;
   unsigned x = 300, y = 490;
   int vueltas = 0;
   int marcas = 0;  // the first lap takes five checkpoints, like every other
   RGB verde = {0, 63, 0, 0};
   RGB negro = {0, 0, 0, 0};
   char texto[64];

   if (allegro_init() != 0)
      return parar("no se pudo iniciar Allegro: no hay pantalla (mira DISPLAY o WAYLAND_DISPLAY)");
   install_timer();
   install_keyboard();
   keyboard_lowlevel_callback = tecla_avisa;
   // Without the tune's patches keep the step sound; without a card, play silent.
   if (install_sound(-1, -1, argv[0]) != 0 &&
       install_sound(DIGI_AUTODETECT, MIDI_NONE, argv[0]) != 0)
      install_sound(DIGI_NONE, MIDI_NONE, argv[0]);
   if (set_gfx_mode(GFX_AUTODETECT, 800, 600, 0, 0) != 0) {
      std::snprintf(texto, sizeof texto, "no se pudo abrir la pantalla de 800x600 (%s)",
                    allegro_error);
      return parar(texto);
   }
   set_window_title("Carrera");
   set_close_button_callback(boton_cerrar);
   vsync();
   // Allegro's loader crashes on some damaged files: look at the file first.
   const char *mal = chequeo_fichero("datos.dat");
   if (mal)
      return parar_pantalla(mal);
   datos = load_datafile("datos.dat");
   mal = chequeo_datos(datos, "datos.dat");
   if (mal)
      return parar_pantalla(mal);

   // Title: one pixel in from the corner, as it always was.
   blit((BITMAP *)datos[TITULO].dat, screen, 0, 0, 1, 1, 800, 600);
   // The tune plays once and is never stopped: it runs on into the race.
   play_midi((MIDI *)datos[MUSICA].dat, 0);
   if (!tecla_o_cierre())
      goto fin;

   clear_bitmap(screen);
   set_color(0, &verde);
   blit((BITMAP *)datos[PISTA].dat, screen, 0, 0, 163, 90, 513, 498);
   draw_rle_sprite(screen, (RLE_SPRITE *)datos[COCHE_ARRIBA].dat, x, y);
   set_color(0, &verde);
   // The fade ends on the default palette; the first frame brings the green back.
   fade_in(default_palette, 1);

   instalar_timers();

   // Space is only looked at here: a tap between two frames is not seen.
   while (!key[KEY_SPACE] && !cerrar) {
      // The wait for the tick sleeps until the timer wakes it, where it once
      // spun on the counter and took a whole core; the frames stay as they were.
      while (!tomar_tick(c)) {
         if (cerrar)
            goto fin;
         esperar();
      }

      regla_vuelta(vueltas, marcas);

      textprintf_ex(screen, font, 1, 1, 255, 9, "Vueltas:%i", vueltas);
      texto_reloj(texto, sizeof texto, crh, crm, crs);
      textprintf_ex(screen, font, 722, 1, 255, 9, "%s", texto);

      // Deviation: skipped while entry 0 is green; under X each set repaints the window.
      RGB ahora;
      get_color(0, &ahora);
      if (ahora.r != verde.r || ahora.g != verde.g || ahora.b != verde.b)
         set_color(0, &verde);

      // Each held key acts on its own, in this order; the last one's car stays drawn.
      if (key[KEY_UP])
         conducir(datos, arriba, COCHE_ARRIBA, x, y, marcas);
      if (key[KEY_DOWN])
         conducir(datos, abajo, COCHE_ABAJO, x, y, marcas);
      if (key[KEY_RIGHT])
         conducir(datos, derecha, COCHE_DERECHA, x, y, marcas);
      if (key[KEY_LEFT])
         conducir(datos, izquierda, COCHE_IZQUIERDA, x, y, marcas);
   }

   if (cerrar)
      goto fin;
   set_color(0, &negro);
   cambio_pagina();
   textprintf_ex(screen, font, 400, 300, 255, 0, "Vueltas:%i", vueltas);
   if (!esperar_tecla())
      goto fin;

   cambio_pagina();
   linea(26, "Ardemol:");
   linea(52, " -Logica del juego");
   linea(78, " -Bitmap rotados");
   linea(104, " -Datafile");
   linea(130, " -Optimizacion");
   linea(156, " -Cuentavueltas");
   linea(182, " -Sonido");
   linea(208, " -Fondo");
   linea(234, " -Correccion de bugs");
   if (!esperar_tecla())
      goto fin;

   cambio_pagina();
   linea(26, "Brisvane:");
   linea(52, " -Averiguacion sobre bitmaps");
   linea(78, " -Descubrimiento del curso de allegro");
   linea(104, " -Prototipo del velk sobre una pantalla negra");
   // The tilde sits over the n of "Diseno"; the next line paints over all but its top row.
   linea(129, "      ~");
   linea(130, " -Diseno original de la pista");
   linea(156, " -Color transparente/Paletas");
   if (!esperar_tecla())
      goto fin;

   cambio_pagina();
   linea(26, "Gracias a:");
   linea(52, " -Colvarin y el equipo de desarrolo de Allegro por desarrollar esta magnifica libreria");
   linea(78, " -Todos aquellos que quieran colaborar mejorando");
   linea(91, "  el juego o transportandolo a otra plataforma o ayudando como sea");
   linea(117, "Gracias");
   linea(130, "Chau");
   if (!esperar_tecla())
      goto fin;

   fade_out(1);
fin:
   unload_datafile(datos);
   return 0;
}
END_OF_MAIN()
