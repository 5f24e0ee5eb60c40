/* The browser's screen. The screen is a plain 8-bit memory bitmap; the page
 * paints it into its canvas through the palette kept here, on its own
 * frames. The page runs only while the game waits (for its tick, a key or
 * the retrace), so it only ever sees a whole frame, never a track without
 * its car. vsync() waits for Allegro's own simulated retrace at 70 Hz, as
 * the desktop's X driver does (two of them, below), so the fades take the
 * time they take there. As Allegro's X driver does, every line drawn on the
 * screen passes through its write_bank, which notes it here, so the page
 * looks only at what was drawn since it last painted, and not at all when
 * nothing was. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <stdlib.h>

#include "web.h"

static unsigned char *pixels;
static unsigned char paleta[256 * 4];
static int ancho;
/* Since the page last painted: the first and last rows drawn, and whether
 * the palette was set. The page reads and clears them. */
static int cambios[3];

static uintptr_t escribir(BITMAP *b, int y)
{
   /* A sub-bitmap's line y is some other row of the screen. */
   int fila = (int)((b->line[y] - pixels) / ancho);
   if (fila < cambios[0])
      cambios[0] = fila;
   if (fila > cambios[1])
      cambios[1] = fila;
   return (uintptr_t)b->line[y];
}

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
   b->write_bank = escribir;
   ancho = w;
   cambios[0] = 0;
   cambios[1] = h - 1;
   cambios[2] = 1;
   gfx_web.w = w;
   gfx_web.h = h;
   web_pantalla(pixels, w, h, paleta, cambios);
   return b;
}

static void cerrar(BITMAP *b)
{
   (void)b;
   web_pantalla(NULL, 0, 0, paleta, cambios);
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
   cambios[2] = 1;
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
