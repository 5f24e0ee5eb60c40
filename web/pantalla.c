/* The browser's screen. The screen is a plain 8-bit memory bitmap in the
 * memory the page shares with the game; the page paints it into its canvas
 * through the palette kept here, but only while the game waits (for its
 * tick, a key or the retrace): then the screen holds a whole frame, never a
 * track without its car. vsync() waits for Allegro's own simulated retrace
 * at 70 Hz, as the desktop's X driver does, so the fades take the time they
 * take there. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <stdlib.h>

#include "web.h"

static unsigned char *pixels;
static unsigned char paleta[256 * 4];
/* Odd while the game waits, raised at each wait and each wake: the page
 * paints a new odd count, and drops a copy the count moved under. */
static atomic_int cuadro;

void web_espera(int esperando)
{
   if (esperando != (atomic_load(&cuadro) & 1))
      atomic_fetch_add(&cuadro, 1);
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
   gfx_web.w = w;
   gfx_web.h = h;
   web_pantalla(pixels, w, h, paleta, &cuadro);
   return b;
}

static void cerrar(BITMAP *b)
{
   (void)b;
   web_pantalla(NULL, 0, 0, paleta, &cuadro);
   free(pixels);
   pixels = NULL;
}

static void retrazado(void)
{
   if (_timer_installed) {
      int antes = retrace_count;
      web_espera(1);
      do
         rest(1);
      while (retrace_count == antes);
      web_espera(0);
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
