// The whole game, top to bottom as it plays: bring-up, title, race screen,
// race loop, closing pages.
#include <allegro.h>
#ifdef ALLEGRO_WITH_XWINDOWS
#include <xalleg.h>
#include "carrera_icono.xpm"
extern void *allegro_icon;
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "chequeo.h"
#include "datos.h"
#include "espera.h"
#include "mando.h"
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

// Every pad, read with the keys: once a frame in the race, at each wake on the
// title and the pages. Start's button from allegro.cfg, -1 for the layout's.
static int ajuste_start = -1;
static mando mandos()
{
   mando m = {};
   if (num_joysticks == 0)
      return m;
   poll_joystick();
   for (int i = 0; i < num_joysticks; i++)
      leer_mando(joy[i], ajuste_start, m);
   return m;
}

// Waits for a key or a pad's button that was not down already (antes) and
// takes it; false if the close button came first. It sleeps between looks,
// where it once looked every millisecond; with a pad it looks every tick, as
// the pad cannot wake it.
static bool tecla_o_cierre(unsigned antes)
{
   while (!keypressed()) {
      if (cerrar)
         return false;
      esperar(num_joysticks ? 10 : 100);
      unsigned ahora = mandos().botones;
      if (ahora & ~antes)
         return true;
      antes = ahora;
      if (!keypressed())
         rest(1);
   }
   readkey();
   return true;
}

// Returns the pad's buttons down as the page comes, before it shows: held
// from the race or the page before, they pass it only once pressed again.
static unsigned cambio_pagina()
{
   fade_out(1);
   clear_bitmap(screen);
   fade_in(default_palette, 64);
   return mandos().botones;
}

// Empty the buffer first, or keys pressed in the race would pass this page at once.
static bool esperar_tecla(unsigned antes)
{
   clear_keybuf();
   return tecla_o_cierre(antes);
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
   unsigned antes;   // the pad's buttons down as a page comes
   RGB verde = {0, 63, 0, 0};
   RGB negro = {0, 0, 0, 0};
   char texto[64];

#ifdef ALLEGRO_WITH_XWINDOWS
   // Docks match the window to the menu entry by its class, and show its icon.
   xwin_set_window_name("carrera", "Carrera");
   allegro_icon = const_cast<char **>(carrera_icono);
#endif
   if (allegro_init() != 0)
      return parar("no se pudo iniciar Allegro: no hay pantalla (mira DISPLAY)");
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
   // A pad plays as the keys do; with none, or none to be had, nothing changes.
   install_joystick(JOY_TYPE_AUTODETECT);
   ajuste_start = get_config_int("mando", "start", -1);
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
   // A button already down passes it, as a key typed early does.
   if (!tecla_o_cierre(0))
      goto fin;

   clear_bitmap(screen);
   set_color(0, &verde);
   blit((BITMAP *)datos[PISTA].dat, screen, 0, 0, 163, 90, 513, 498);
   draw_rle_sprite(screen, (RLE_SPRITE *)datos[COCHE_ARRIBA].dat, x, y);
   set_color(0, &verde);
   // The fade ends on the default palette; the first frame brings the green back.
   fade_in(default_palette, 1);

   instalar_timers();

   // Space and Start are only looked at here: a tap between two frames is not seen.
   for (mando m = mandos(); !key[KEY_SPACE] && !m.start && !cerrar; m = mandos()) {
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
      if (key[KEY_UP] || m.arriba)
         conducir(datos, arriba, COCHE_ARRIBA, x, y, marcas);
      if (key[KEY_DOWN] || m.abajo)
         conducir(datos, abajo, COCHE_ABAJO, x, y, marcas);
      if (key[KEY_RIGHT] || m.derecha)
         conducir(datos, derecha, COCHE_DERECHA, x, y, marcas);
      if (key[KEY_LEFT] || m.izquierda)
         conducir(datos, izquierda, COCHE_IZQUIERDA, x, y, marcas);
   }

   if (cerrar)
      goto fin;
   set_color(0, &negro);
   antes = cambio_pagina();
   textprintf_ex(screen, font, 400, 300, 255, 0, "Vueltas:%i", vueltas);
   if (!esperar_tecla(antes))
      goto fin;

   antes = cambio_pagina();
   linea(26, "Ardemol:");
   linea(52, " -Logica del juego");
   linea(78, " -Bitmap rotados");
   linea(104, " -Datafile");
   linea(130, " -Optimizacion");
   linea(156, " -Cuentavueltas");
   linea(182, " -Sonido");
   linea(208, " -Fondo");
   linea(234, " -Correccion de bugs");
   if (!esperar_tecla(antes))
      goto fin;

   antes = cambio_pagina();
   linea(26, "Brisvane:");
   linea(52, " -Averiguacion sobre bitmaps");
   linea(78, " -Descubrimiento del curso de allegro");
   linea(104, " -Prototipo del velk sobre una pantalla negra");
   // The tilde sits over the n of "Diseno"; the next line paints over all but its top row.
   linea(129, "      ~");
   linea(130, " -Diseno original de la pista");
   linea(156, " -Color transparente/Paletas");
   if (!esperar_tecla(antes))
      goto fin;

   antes = cambio_pagina();
   linea(26, "Gracias a:");
   linea(52, " -Colvarin y el equipo de desarrolo de Allegro por desarrollar esta magnifica libreria");
   linea(78, " -Todos aquellos que quieran colaborar mejorando");
   linea(91, "  el juego o transportandolo a otra plataforma o ayudando como sea");
   linea(117, "Gracias");
   linea(130, "Chau");
   if (!esperar_tecla(antes))
      goto fin;

   fade_out(1);
fin:
   unload_datafile(datos);
   return 0;
}
END_OF_MAIN()
