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

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "web.h"

static unsigned char *pixels;
static unsigned char paleta[256 * 4];
static int ancho;
/* Since the page last painted: the first and last rows drawn, and whether
 * the palette was set. The page reads and clears them. */
static int cambios[3];
/* And which rows, a byte each, so the page compares only those. */
static unsigned char *filas;
static GFX_VTABLE tabla;

static uintptr_t escribir(BITMAP *b, int y)
{
   /* A sub-bitmap's line y is some other row of the screen. */
   int fila = (int)((b->line[y] - pixels) / ancho);
   if (fila < cambios[0])
      cambios[0] = fila;
   if (fila > cambios[1])
      cambios[1] = fila;
   filas[fila] = 1;
   return (uintptr_t)b->line[y];
}

/* Eight bytes at a time: the C library's compares a byte at a time here. */
static int iguales(const unsigned char *a, const unsigned char *b, int n)
{
   for (; n >= 8; n -= 8, a += 8, b += 8) {
      uint64_t x, y;
      memcpy(&x, a, 8);
      memcpy(&y, b, 8);
      if (x != y)
         return 0;
   }
   for (; n > 0; n--)
      if (*a++ != *b++)
         return 0;
   return 1;
}

/* The race blits the whole track each frame over the same track: only the
 * rows that differ are copied, and so noted, so the page need not compare
 * the other five hundred with what it painted. */
static void copiar(BITMAP *o, BITMAP *b, int ox, int oy, int x, int y, int w, int h)
{
   for (int i = 0; i < h; i++) {
      const unsigned char *s = o->line[oy + i] + ox;
      if (!iguales(b->line[y + i] + x, s, w))
         memcpy((unsigned char *)escribir(b, y + i) + x, s, (size_t)w);
   }
   bmp_unwrite_line(b);
}

static BITMAP *abrir(int w, int h, int v_w, int v_h, int bits)
{
   if (bits != 8 || (v_w && v_w != w) || (v_h && v_h != h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "Solo 8 bits, sin pantalla virtual");
      return NULL;
   }
   pixels = calloc((size_t)w * h, 1);
   filas = calloc((size_t)h, 1);
   BITMAP *b = pixels && filas ? _make_bitmap(w, h, (uintptr_t)pixels, &gfx_web, 8, w) : NULL;
   if (!b) {
      free(pixels);
      free(filas);
      pixels = filas = NULL;
      return NULL;
   }
   tabla = *b->vtable;
   tabla.blit_from_memory = copiar;
   b->vtable = &tabla;
   b->write_bank = escribir;
   ancho = w;
   cambios[0] = 0;
   cambios[1] = h - 1;
   cambios[2] = 1;
   gfx_web.w = w;
   gfx_web.h = h;
   web_pantalla(pixels, w, h, paleta, cambios, filas);
   return b;
}

static void cerrar(BITMAP *b)
{
   (void)b;
   web_pantalla(NULL, 0, 0, paleta, cambios, filas);
   free(pixels);
   free(filas);
   pixels = filas = NULL;
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
