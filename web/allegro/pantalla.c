/* The browser's screen. The screen is a plain 8-bit memory bitmap; the page
 * paints it into its canvas through the palette kept here, on its own
 * frames. The page runs only while the game waits (for its tick, a key or
 * the retrace), so it only ever sees a whole frame, never a track without
 * its car. vsync() waits for Allegro's own simulated retrace at 70 Hz, as
 * the desktop's X driver does (two of them, below), so the fades take the
 * time they take there. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <stdlib.h>

#include "web.h"

static unsigned char *pixels;
static unsigned char paleta[256 * 4];

static BITMAP *abrir(int w, int h, int v_w, int v_h, int bits)
{
   if (bits != 8 || (v_w && v_w != w) || (v_h && v_h != h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "Solo 8 bits, sin pantalla virtual");
      return NULL;
   }
   pixels = calloc((size_t)w * h, 1);
   if (!pixels)
      return NULL;
   BITMAP *b = _make_bitmap(w, h, (uintptr_t)pixels, &gfx_web, 8, w);
   if (!b) {
      free(pixels);
      return NULL;
   }
   gfx_web.w = w;
   gfx_web.h = h;
   web_pantalla(pixels, w, h, paleta);
   return b;
}

static void cerrar(BITMAP *b)
{
   (void)b;
   web_pantalla(NULL, 0, 0, paleta);
   free(pixels);
   pixels = NULL;
}

/* Allegro's fades look at the retrace count in a loop between their steps,
 * and the slowest takes a step every second retrace: with no thread to move
 * the count meanwhile, each wait here lets it move by two, so a fade never
 * loops for nothing and its slow steps keep the desktop's time. */
static void retrazado(void)
{
   if (_timer_installed) {
      int antes = retrace_count;
      do
         rest(1);
      while (retrace_count - antes < 2);
   }
}

static void colores(const RGB *p, int desde, int hasta, int espera)
{
   if (espera)
      retrazado();
   for (int i = desde; i <= hasta; i++) {
      paleta[i * 4] = p[i].r;
      paleta[i * 4 + 1] = p[i].g;
      paleta[i * 4 + 2] = p[i].b;
   }
}

GFX_DRIVER gfx_web = {
   .id = GFX_WEB,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Lienzo del navegador",
   .init = abrir,
   .exit = cerrar,
   .vsync = retrazado,
   .set_palette = colores,
   .linear = TRUE,
   .windowed = TRUE,
};
