/* The desktop's screen, on SDL. The screen is an 8-bit bitmap in memory
 * that the game draws on as it always did; each line it finishes writing
 * (Allegro's write_bank and unwrite_bank hooks, as Allegro's X driver has
 * them) is marked when the drawing ends, and the event thread (sistema.c)
 * is woken to paint, a moment later and at most 70 times a second, never
 * while the game is drawing (the screen's lock): it turns the lines that
 * really changed, through the palette, into a texture, and shows it at the
 * largest whole multiple of 800x600 that the window's drawable holds,
 * centred on black, pixels kept square and sharp (the drawable's own
 * pixels on a high-density desktop); a window smaller than that shows the
 * whole picture scaled down. With no GPU (and on Windows) there is no
 * texture: the lines are scaled by hand into the window's own pixels and
 * only those are put on the screen. A new palette repaints it all. Alt+Enter and F11
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
static unsigned char *cambiadas;         /* which of them, a byte a line */
static Uint32 paleta[256];
static int paleta_nueva;
static int pendiente;                    /* the event thread is woken already */
static int vela;                         /* or will look again within a frame */
static Uint32 marcado;                   /* when the first line of those was marked */

/* The game's thread's: the lines its drawing wrote, and whether it holds entero. */
static int primera = INT_MAX, ultima = -1;
static unsigned char *escritas;
static int sujeto;
static GFX_VTABLE tabla;
/* Held by the game while it draws (from a drawing's first line to its end,
 * and a whole text, between Allegro's acquire and release), and by the
 * event thread while it copies the screen: it never copies a text half drawn. */
static SDL_mutex *entero;

/* The event thread's. */
static unsigned char *sombra;  /* the screen as last painted */
static Uint32 *rgb;
static unsigned char *mirar;   /* the lines marked since the last paint */
static Uint32 colores_pintados[256];
static Uint32 mapa[256];       /* colores_pintados in the target's format */
static SDL_Renderer *pintor;
static SDL_Texture *textura;
static int propios;            /* no texture: the window's own pixels */
static Uint32 formato;         /* theirs */
static SDL_Surface *estirable; /* rgb, for a window smaller than the picture */
static int rehacer;            /* the window changed: show it all again */
static int completa;           /* fullscreen */
static char titulo[256];

/* Publishes the lines a drawing wrote, once it ends: the painter cannot
 * copy them before then anyway (entero), and a lock a line cost the race
 * more than its drawing. */
static void marcar(int d, int h)
{
   SDL_LockMutex(candado);
   if (d < desde)
      desde = d;
   if (h > hasta)
      hasta = h;
   for (int y = d; y <= h; y++)
      cambiadas[y] |= escritas[y];
   memset(escritas + d, 0, (size_t)(h - d + 1));
   int despertar = !pendiente && !vela;
   if (!pendiente)
      marcado = SDL_GetTicks();
   pendiente = 1;
   SDL_UnlockMutex(candado);
   if (despertar)
      escritorio_despertar();
}

static uintptr_t linea(BITMAP *b, int y)
{
   if (!sujeto) {
      SDL_LockMutex(entero);
      sujeto = 1;
   }
   if (y < primera)
      primera = y;
   if (y > ultima)
      ultima = y;
   escritas[y] = 1;
   return (uintptr_t)b->line[y];
}

static void fin_linea(BITMAP *b)
{
   (void)b;
   if (ultima >= 0)
      marcar(primera, ultima);
   primera = INT_MAX;
   ultima = -1;
   if (sujeto) {
      sujeto = 0;
      SDL_UnlockMutex(entero);
   }
}

/* The race blits the whole track each frame over the same track: only the
 * lines that differ are copied and marked, so the painter need not compare
 * the other five hundred with what it painted. */
static void copiar(BITMAP *o, BITMAP *b, int ox, int oy, int x, int y, int w, int h)
{
   for (int i = 0; i < h; i++) {
      const unsigned char *s = o->line[oy + i] + ox;
      if (memcmp(b->line[y + i] + x, s, (size_t)w) != 0)
         memcpy((unsigned char *)linea(b, y + i) + x, s, (size_t)w);
   }
   fin_linea(b);
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
   /* On X and Windows the window's own pixels (X's shared memory, GDI),
    * scaled by hand, only the lines that changed sent: a few percent of a
    * core racing even with no GPU, and no OpenGL to bring up at the start
    * (Mesa drawn by the CPU cost several times that, and Wine's Direct3D
    * lost the race's pace). SDL's Wayland windows have none of their own:
    * OpenGL there, the picture scaled by it. The player's SDL_RENDER_DRIVER
    * first. */
   if (!SDL_GetHint(SDL_HINT_RENDER_DRIVER) &&
       SDL_strcmp(SDL_GetCurrentVideoDriver(), "wayland") != 0) {
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      SDL_Surface *w = SDL_GetWindowSurface(v);
      /* Scaled four bytes a pixel; anything else, SDL's drawing. */
      propios = w && w->format->BytesPerPixel == 4;
   }
   if (!propios)
      pintor = SDL_CreateRenderer(v, -1, 0);
   if (pintor)
      textura = SDL_CreateTexture(pintor, SDL_PIXELFORMAT_ARGB8888,
                                  SDL_TEXTUREACCESS_STREAMING, ancho, alto);
   if (!textura && !propios) {
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
   memset(mapa, 0, sizeof mapa);
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
   if (estirable)
      SDL_FreeSurface(estirable);
   textura = NULL;
   pintor = NULL;
   estirable = NULL;
   propios = 0;
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

/* The window's own pixels: each changed run of lines, scaled by hand to
 * the whole multiple, and only those runs put on the screen. */
#define TRAMOS 16
static void en_propios(SDL_Surface *s, int tramos[][2], int n)
{
   encaje e = encajar(s->w, s->h);
   if (rehacer)
      SDL_FillRect(s, NULL, SDL_MapRGB(s->format, 0, 0, 0));
   if (e.w < ancho) {
      /* Smaller than the picture, a blend reads better than dropped lines. */
      if (estirable && estirable->format->format != s->format->format) {
         SDL_FreeSurface(estirable);
         estirable = NULL;
      }
      if (!estirable)
         estirable = SDL_CreateRGBSurfaceWithFormatFrom(rgb, ancho, alto, 32, ancho * 4,
                                                        s->format->format);
      SDL_Rect donde = {e.x, e.y, e.w, e.h};
      if (estirable)
         SDL_SoftStretchLinear(estirable, NULL, s, &donde);
      SDL_UpdateWindowSurface(escritorio_ventana);
      return;
   }
   int k = e.w / ancho;
   SDL_Rect r[TRAMOS];
   for (int i = 0; i < n; i++) {
      for (int y = tramos[i][0]; y <= tramos[i][1]; y++) {
         const Uint32 *o = rgb + (size_t)y * ancho;
         Uint8 *fila = (Uint8 *)s->pixels + (size_t)(e.y + y * k) * s->pitch + (size_t)e.x * 4;
         Uint32 *d = (Uint32 *)fila;
         if (k == 1) {
            memcpy(d, o, (size_t)ancho * 4);
            continue;
         }
         for (int x = 0; x < ancho; x++)
            for (int j = 0; j < k; j++)
               *d++ = o[x];
         for (int j = 1; j < k; j++)
            memcpy(fila + (size_t)j * s->pitch, fila, (size_t)e.w * 4);
      }
      r[i] = (SDL_Rect){e.x, e.y + tramos[i][0] * k, e.w, (tramos[i][1] - tramos[i][0] + 1) * k};
   }
   if (rehacer)
      SDL_UpdateWindowSurface(escritorio_ventana);
   else if (n)
      SDL_UpdateWindowSurfaceRects(escritorio_ventana, r, n);
}

static void en_textura(int d, int h)
{
   if (h >= 0) {
      SDL_Rect r = {0, d, ancho, h - d + 1};
      SDL_UpdateTexture(textura, &r, rgb + (size_t)d * ancho, ancho * 4);
   }
   int w, hh;
   if (SDL_GetRendererOutputSize(pintor, &w, &hh) != 0)
      return;
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
}

int pantalla_pintar(void)
{
   if (!textura && !propios)
      return -1;
   Uint32 ahora = SDL_GetTicks();
   SDL_LockMutex(candado);
   if (!pendiente && !rehacer) {
      vela = 0;
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
   SDL_Surface *s = NULL;
   if (propios) {
      /* Made anew by SDL when the window's size changed. */
      s = SDL_GetWindowSurface(escritorio_ventana);
      if (!s) {
         SDL_UnlockMutex(candado);
         return -1;
      }
      if (s->format->format != formato) {
         formato = s->format->format;
         rehacer = 1;
      }
   }
   /* The game is drawing: a moment later. */
   if (SDL_TryLockMutex(entero) != 0) {
      SDL_UnlockMutex(candado);
      return 1;
   }
   int d = desde, h = hasta, todo = paleta_nueva || (propios && rehacer);
   if (paleta_nueva)
      memcpy(colores_pintados, paleta, sizeof paleta);
   if (h >= d) {
      memcpy(mirar + d, cambiadas + d, (size_t)(h - d + 1));
      memset(cambiadas + d, 0, (size_t)(h - d + 1));
   }
   desde = INT_MAX;
   hasta = -1;
   paleta_nueva = 0;
   pendiente = 0;
   /* While frames come, the next is looked for a frame's time after this
    * one, by the event thread's own wait: no wake a frame for the game to
    * send (on X a round trip to the server each). */
   vela = 1;
   SDL_UnlockMutex(candado);
   if (todo) {
      d = 0;
      h = alto - 1;
      for (int i = 0; i < 256; i++) {
         Uint32 c = colores_pintados[i];
         mapa[i] = propios ? SDL_MapRGB(s->format, c >> 16 & 255, c >> 8 & 255, c & 255) : c;
      }
   }
   /* Only the lines that differ from what was painted, in runs: the race
    * redraws the whole track each frame, and only the car and the clock
    * change. */
   int tramos[TRAMOS][2], n = 0;
   for (int y = d; y <= h; y++) {
      unsigned char *p = pixels + (size_t)y * ancho, *o = sombra + (size_t)y * ancho;
      if (!todo && (!mirar[y] || !memcmp(p, o, ancho)))
         continue;
      memcpy(o, p, ancho);
      Uint32 *q = rgb + (size_t)y * ancho;
      for (int x = 0; x < ancho; x++)
         q[x] = mapa[o[x]];
      if (n && tramos[n - 1][1] == y - 1)
         tramos[n - 1][1] = y;
      else if (n < TRAMOS)
         tramos[n][0] = tramos[n][1] = y, n++;
      else
         tramos[n - 1][1] = y;  /* too many: the last run takes the rest */
   }
   SDL_UnlockMutex(entero);
   /* A look that found nothing new paces the next as a paint does: one wake a frame. */
   pintado = ahora;
   if (!n && !rehacer)
      return CUADRO_MS;
   if (propios)
      en_propios(s, tramos, n);
   else
      en_textura(n ? tramos[0][0] : 0, n ? tramos[n - 1][1] : -1);
   rehacer = 0;
   return CUADRO_MS;
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
   /* A byte a line each for the game's drawing, the marks, the painter. */
   escritas = calloc((size_t)h, 3);
   cambiadas = escritas ? escritas + h : NULL;
   mirar = escritas ? escritas + 2 * h : NULL;
   BITMAP *b = pixels && sombra && rgb && escritas ?
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
      free(escritas);
      pixels = sombra = escritas = cambiadas = mirar = NULL;
      rgb = NULL;
      return NULL;
   }
   tabla = *b->vtable;
   tabla.unwrite_bank = (void *)fin_linea;
   tabla.blit_from_memory = copiar;
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
   free(escritas);
   pixels = sombra = escritas = cambiadas = mirar = NULL;
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
