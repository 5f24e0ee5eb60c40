/* The desktop's screen, on SDL. The screen is an 8-bit bitmap in memory
 * that the game draws on as it always did; each line it finishes writing
 * (Allegro's write_bank and unwrite_bank hooks, as Allegro's X driver has
 * them) is marked, and the event thread (sistema.c) is woken to paint, a
 * moment later and at most 70 times a second, never while the game is
 * drawing (the screen's lock): it turns the lines that really changed,
 * through the palette, into a texture, and shows it at the largest whole
 * multiple of 800x600 that the window's drawable holds, centred on black,
 * pixels kept square and sharp (the drawable's own pixels on a
 * high-density desktop); a window smaller than that shows the whole
 * picture scaled down. A new palette repaints it all. Alt+Enter and F11
 * (teclado.c) switch fullscreen, the desktop's own resolution, no mode
 * switch. vsync() waits for Allegro's retrace, 70 a second, so the fades
 * take their time (reloj.c). */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include "carrera_icono.h"
#include "cuentas.h"
#include "escritorio.h"

static unsigned char *pixels;  /* the screen the game draws on */
static int ancho, alto;

/* Shared with the game's thread, under candado. */
static SDL_mutex *candado;
static int desde = INT_MAX, hasta = -1;  /* lines written since the last paint */
static Uint32 paleta[256];
static int paleta_nueva;
static int pendiente;                    /* the event thread is woken already */
static Uint32 marcado;                   /* when the first line of those was marked */

/* The game's thread's: the line it is writing, and whether it holds entero. */
static int ultima = -1;
static int sujeto;
static GFX_VTABLE tabla;
/* Held by the game while it draws (from a drawing's first line to its end,
 * and a whole text, between Allegro's acquire and release), and by the
 * event thread while it copies the screen: it never copies a text half drawn. */
static SDL_mutex *entero;

/* The event thread's. */
static unsigned char *sombra;  /* the screen as last painted */
static Uint32 *rgb;
static Uint32 colores_pintados[256];
static SDL_Renderer *pintor;
static SDL_Texture *textura;
static int rehacer;            /* the window changed: show it all again */
static int completa;           /* fullscreen */
static char titulo[256];

static void marcar(int y)
{
   SDL_LockMutex(candado);
   if (y < desde)
      desde = y;
   if (y > hasta)
      hasta = y;
   int despertar = !pendiente;
   if (despertar)
      marcado = SDL_GetTicks();
   pendiente = 1;
   SDL_UnlockMutex(candado);
   if (despertar)
      escritorio_despertar();
}

/* A line is marked once it is written: when the next is begun, or the
 * drawing ends. */
static uintptr_t linea(BITMAP *b, int y)
{
   if (!sujeto) {
      SDL_LockMutex(entero);
      sujeto = 1;
   }
   if (y != ultima) {
      if (ultima >= 0)
         marcar(ultima);
      ultima = y;
   }
   return (uintptr_t)b->line[y];
}

static void fin_linea(BITMAP *b)
{
   (void)b;
   if (ultima >= 0)
      marcar(ultima);
   ultima = -1;
   if (sujeto) {
      sujeto = 0;
      SDL_UnlockMutex(entero);
   }
}

static void tomar(BITMAP *b)
{
   (void)b;
   SDL_LockMutex(entero);
}

static void soltar(BITMAP *b)
{
   (void)b;
   SDL_UnlockMutex(entero);
}

/* ---- the player's remembered screen -------------------------------------- */

/* Deviation: the player's last Alt+Enter or F11 is kept for the next start, in
 * $XDG_CONFIG_HOME/carrera/pantalla (~/.config/carrera/pantalla;
 * %APPDATA%\carrera\pantalla on Windows). */
static int ruta_recuerdo(char *ruta, size_t n, int carpeta)
{
   const char *base;
   int r;
#ifdef _WIN32
   base = SDL_getenv("APPDATA");
   if (!base)
      return -1;
   r = snprintf(ruta, n, "%s\\carrera%s", base, carpeta ? "" : "\\pantalla");
#else
   base = SDL_getenv("XDG_CONFIG_HOME");
   if (base && *base)
      r = snprintf(ruta, n, "%s/carrera%s", base, carpeta ? "" : "/pantalla");
   else if ((base = SDL_getenv("HOME")) != NULL)
      r = snprintf(ruta, n, "%s/.config/carrera%s", base, carpeta ? "" : "/pantalla");
   else
      return -1;
#endif
   return r > 0 && (size_t)r < n ? 0 : -1;
}

/* 0 or 1, or -1 with none to be read: then allegro.cfg says. */
static int recordada(void)
{
   char ruta[1024], texto[64];
   if (ruta_recuerdo(ruta, sizeof ruta, 0) != 0)
      return -1;
   FILE *f = fopen(ruta, "rb");
   if (!f)
      return -1;
   size_t n = fread(texto, 1, sizeof texto - 1, f);
   fclose(f);
   texto[n] = 0;
   return n < sizeof texto - 1 ? leer_completa(texto) : -1;
}

/* Written whole or not at all: a new file put in the old one's place. */
static void recordar(int si)
{
   char carpeta[1024], ruta[1024], nueva[1100];
   if (ruta_recuerdo(carpeta, sizeof carpeta, 1) != 0 ||
       ruta_recuerdo(ruta, sizeof ruta, 0) != 0)
      return;
#ifdef _WIN32
   _mkdir(carpeta);
#else
   /* ~/.config itself may be missing in a fresh home. */
   char *barra = strrchr(carpeta, '/');
   if (barra) {
      *barra = 0;
      mkdir(carpeta, 0700);
      *barra = '/';
   }
   mkdir(carpeta, 0700);
#endif
   snprintf(nueva, sizeof nueva, "%s.nueva", ruta);
   FILE *f = fopen(nueva, "wb");
   if (!f)
      return;
   int mal = fprintf(f, "completa = %d\n", si) < 0;
   mal |= fclose(f) != 0;
#ifdef _WIN32
   if (!mal)
      remove(ruta);  /* Windows renames onto no file */
#endif
   if (mal || rename(nueva, ruta) != 0)
      remove(nueva);
}

/* ---- the event thread's side ---------------------------------------------- */

void pantalla_titulo(const char *nombre)
{
   SDL_strlcpy(titulo, nombre, sizeof titulo);
   if (escritorio_ventana)
      SDL_SetWindowTitle(escritorio_ventana, titulo);
}

/* Whether the renderer is OpenGL drawn by the CPU (no GPU, or Xvfb), unless
 * the player chose one with SDL_RENDER_DRIVER. */
static int por_programa(SDL_Renderer *r)
{
   SDL_RendererInfo i;
   if (SDL_GetHint(SDL_HINT_RENDER_DRIVER) || SDL_GetRendererInfo(r, &i) != 0 ||
       SDL_strncmp(i.name, "opengl", 6) != 0)
      return 0;
   const unsigned char *(*gl_cadena)(unsigned) = SDL_GL_GetProcAddress("glGetString");
   const char *nombre = gl_cadena ? (const char *)gl_cadena(0x1F01 /* GL_RENDERER */) : NULL;
   return nombre && (SDL_strstr(nombre, "llvmpipe") || SDL_strstr(nombre, "softpipe") ||
                     SDL_strstr(nombre, "Software"));
}

void pantalla_abrir(void)
{
   SDL_Rect b;
   int e = 1;
   if (SDL_GetDisplayBounds(0, &b) == 0)
      e = escala_ventana(b.w, b.h);
   SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
   SDL_Window *v = SDL_CreateWindow(titulo, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    ancho * e, alto * e,
                                    SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI |
                                    (completa ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0));
   if (!v)
      return;
#ifdef _WIN32
   /* Windows: SDL's own drawing, put on the window by GDI. Under Wine with
    * no GPU, Direct3D and OpenGL are Mesa drawn by the CPU, and the race
    * loses its pace. The player's SDL_RENDER_DRIVER first. */
   pintor = SDL_CreateRenderer(v, -1, SDL_GetHint(SDL_HINT_RENDER_DRIVER) ? 0 : SDL_RENDERER_SOFTWARE);
   if (!pintor)
      pintor = SDL_CreateRenderer(v, -1, 0);
#else
   pintor = SDL_CreateRenderer(v, -1, 0);
#endif
   if (pintor && por_programa(pintor)) {
      /* With no GPU, Mesa's OpenGL drawn by the CPU costs several times what
       * SDL's own drawing into the window does. */
      SDL_DestroyRenderer(pintor);
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      pintor = SDL_CreateRenderer(v, -1, SDL_RENDERER_SOFTWARE);
      /* SDL's Wayland windows have no drawing of SDL's own: OpenGL it is. */
      if (!pintor) {
         SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, NULL);
         pintor = SDL_CreateRenderer(v, -1, 0);
      }
   }
   if (pintor)
      textura = SDL_CreateTexture(pintor, SDL_PIXELFORMAT_ARGB8888,
                                  SDL_TEXTUREACCESS_STREAMING, ancho, alto);
   if (!textura) {
      if (pintor)
         SDL_DestroyRenderer(pintor);
      pintor = NULL;
      SDL_DestroyWindow(v);
      return;
   }
   SDL_Surface *s = SDL_CreateRGBSurfaceWithFormatFrom((void *)carrera_icono, CARRERA_ICONO,
                                                       CARRERA_ICONO, 32, CARRERA_ICONO * 4,
                                                       SDL_PIXELFORMAT_RGBA32);
   if (s) {
      SDL_SetWindowIcon(v, s);
      SDL_FreeSurface(s);
   }
   memset(sombra, 0, (size_t)ancho * alto);
   memset(colores_pintados, 0, sizeof colores_pintados);
   rehacer = 1;
   escritorio_ventana = v;
}

void pantalla_cerrar(void)
{
   if (textura)
      SDL_DestroyTexture(textura);
   if (pintor)
      SDL_DestroyRenderer(pintor);
   if (escritorio_ventana)
      SDL_DestroyWindow(escritorio_ventana);
   textura = NULL;
   pintor = NULL;
   escritorio_ventana = NULL;
}

void pantalla_completa_cambiar(void)
{
   if (!escritorio_ventana)
      return;
   completa = !completa;
   SDL_SetWindowFullscreen(escritorio_ventana, completa ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
   recordar(completa);
   rehacer = 1;
}

void pantalla_evento(const SDL_Event *e)
{
   switch (e->window.event) {
   case SDL_WINDOWEVENT_SHOWN:
   case SDL_WINDOWEVENT_EXPOSED:
   case SDL_WINDOWEVENT_SIZE_CHANGED:
   case SDL_WINDOWEVENT_MAXIMIZED:
   case SDL_WINDOWEVENT_RESTORED:
      rehacer = 1;
      break;
   }
}

/* A frame is painted a moment after its first line, so the game has drawn
 * it whole, and no sooner than a 70th of a second after the last: more
 * would cost the CPU and no screen would show them. */
#define DIBUJO_MS 2
#define CUADRO_MS (1000 / 70)
static Uint32 pintado;  /* when the window was last painted */

int pantalla_pintar(void)
{
   if (!textura)
      return -1;
   Uint32 ahora = SDL_GetTicks();
   SDL_LockMutex(candado);
   if (!pendiente && !rehacer) {
      SDL_UnlockMutex(candado);
      return -1;
   }
   int falta = CUADRO_MS - (Sint32)(ahora - pintado);
   if (pendiente && DIBUJO_MS - (Sint32)(ahora - marcado) > falta)
      falta = DIBUJO_MS - (Sint32)(ahora - marcado);
   if (falta > 0 && !rehacer) {
      SDL_UnlockMutex(candado);
      return falta;
   }
   /* The game is drawing: a moment later. */
   if (SDL_TryLockMutex(entero) != 0) {
      SDL_UnlockMutex(candado);
      return 1;
   }
   int d = desde, h = hasta, todo = paleta_nueva;
   if (todo)
      memcpy(colores_pintados, paleta, sizeof paleta);
   desde = INT_MAX;
   hasta = -1;
   paleta_nueva = 0;
   pendiente = 0;
   SDL_UnlockMutex(candado);
   if (todo) {
      d = 0;
      h = alto - 1;
   }
   /* Only the lines that differ from what was painted: the race redraws
    * the whole track each frame, and only the car moves. */
   int d0 = INT_MAX, h0 = -1;
   for (int y = d; y <= h; y++) {
      unsigned char *p = pixels + (size_t)y * ancho, *s = sombra + (size_t)y * ancho;
      if (!todo && !memcmp(p, s, ancho))
         continue;
      memcpy(s, p, ancho);
      Uint32 *q = rgb + (size_t)y * ancho;
      for (int x = 0; x < ancho; x++)
         q[x] = colores_pintados[s[x]];
      if (y < d0)
         d0 = y;
      h0 = y;
   }
   SDL_UnlockMutex(entero);
   if (h0 >= 0) {
      SDL_Rect r = {0, d0, ancho, h0 - d0 + 1};
      SDL_UpdateTexture(textura, &r, rgb + (size_t)d0 * ancho, ancho * 4);
   } else if (!rehacer) {
      return -1;
   }
   rehacer = 0;
   pintado = ahora;
   int w, hh;
   if (SDL_GetRendererOutputSize(pintor, &w, &hh) != 0)
      return -1;
   encaje e = encajar(w, hh);
   SDL_Rect donde = {e.x, e.y, e.w, e.h};
   /* Smaller than the picture, a blend reads better than dropped lines. */
   SDL_SetTextureScaleMode(textura, e.w < ancho ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
   if (e.w != w || e.h != hh) {
      SDL_SetRenderDrawColor(pintor, 0, 0, 0, 255);
      SDL_RenderClear(pintor);
   }
   SDL_RenderCopy(pintor, textura, NULL, &donde);
   SDL_RenderPresent(pintor);
   return -1;
}

/* ---- the game's thread's side --------------------------------------------- */

static BITMAP *abrir(int w, int h, int v_w, int v_h, int bits)
{
   if (bits != 8 || w != PANTALLA_W || h != PANTALLA_H || (v_w && v_w != w) ||
       (v_h && v_h != h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "Solo 800x600 en 8 bits");
      return NULL;
   }
   ancho = w;
   alto = h;
   /* Made before the window, whose thread takes them as it paints. */
   if (!entero)
      entero = SDL_CreateMutex();
   if (!candado)
      candado = SDL_CreateMutex();
   pixels = calloc((size_t)w * h, 1);
   sombra = calloc((size_t)w * h, 1);
   rgb = calloc((size_t)w * h, sizeof *rgb);
   BITMAP *b = pixels && sombra && rgb ?
      _make_bitmap(w, h, (uintptr_t)pixels, &gfx_sdl, 8, w) : NULL;
   if (b) {
      int r = recordada();
      completa = r >= 0 ? r : get_config_int("pantalla", "completa", 0) != 0;
      escritorio_pedir(pantalla_abrir);
      if (!escritorio_ventana) {
         ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
         free(b);  /* one block, as _make_bitmap made it */
         b = NULL;
      }
   }
   if (!b) {
      free(pixels);
      free(sombra);
      free(rgb);
      pixels = sombra = NULL;
      rgb = NULL;
      return NULL;
   }
   tabla = *b->vtable;
   tabla.unwrite_bank = (void *)fin_linea;
   tabla.acquire = tomar;
   tabla.release = soltar;
   b->vtable = &tabla;
   b->write_bank = (void *)linea;
   gfx_sdl.w = w;
   gfx_sdl.h = h;
   return b;
}

static void cerrar(BITMAP *b)
{
   (void)b;
   escritorio_pedir(pantalla_cerrar);
   free(pixels);
   free(sombra);
   free(rgb);
   pixels = sombra = NULL;
   rgb = NULL;
}

static void retrazado(void)
{
   reloj_retrazado(1);
}

/* Allegro's fades look at the retrace count in a loop between their steps,
 * and the slowest takes a step every second retrace: waiting for two here
 * keeps them to the time they take, with no loop spinning meanwhile. */
static void colores(const RGB *p, int desde_i, int hasta_i, int espera)
{
   if (espera)
      reloj_retrazado(2);
   SDL_LockMutex(candado);
   for (int i = desde_i; i <= hasta_i; i++)
      paleta[i] = 0xff000000u | (Uint32)_rgb_scale_6[p[i].r] << 16 |
                  (Uint32)_rgb_scale_6[p[i].g] << 8 | (Uint32)_rgb_scale_6[p[i].b];
   paleta_nueva = 1;
   int despertar = !pendiente;
   pendiente = 1;
   SDL_UnlockMutex(candado);
   if (despertar)
      escritorio_despertar();
}

GFX_DRIVER gfx_sdl = {
   .id = GFX_SDL,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Ventana (SDL)",
   .init = abrir,
   .exit = cerrar,
   .vsync = retrazado,
   .set_palette = colores,
   .linear = TRUE,
   .windowed = TRUE,
};
