/* Pacing shim for the race, loaded with LD_PRELOAD. It sits between the
 * game and Allegro on the calls a race frame makes, stamps each one with
 * CLOCK_MONOTONIC and counts the ticks of the game's first timer. Nothing
 * is written from the game's threads: a thread of its own writes what was
 * kept every 100 ms and once more at exit, to the file in CARRERA_SOMBRA.
 * Without CARRERA_SOMBRA every call goes straight through.
 *
 * Lines of the log (times in ns):
 *   inicio T            the shim was loaded (about when the game started)
 *   modo T R            set_gfx_mode returned R
 *   titulo T            end of the first 800x600 blit to the screen
 *   timer T VEL ENV     the game installed a timer of VEL (Allegro units);
 *                       ENV 1 if it is the one whose ticks are counted
 *   espera T            the game emptied the key buffer (a page waits)
 *   t T                 one tick of the counted timer, before the game's own
 *   f INI FIN TIC X Y NB NS NM TT TB TS TM TC
 *                       one race frame: from the lap text at (1,1) to the end
 *                       of the last call before the next lap text; TIC ticks
 *                       seen at INI; car at X,Y; NB blits, NS sprites, NM
 *                       sounds to/for the screen; TT TB TS TM TC time inside
 *                       the texts, blits, sprites, sounds and set_color.
 */
#define _GNU_SOURCE
#include <allegro.h>

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef int64_t ns;

struct cuadro {
   ns ini, fin;
   long tic;
   int x, y;
   int nb, ns_, nm;
   ns tt, tb, ts, tm, tc;
};

/* Room for 40 minutes of race at 100 frames a second; past that, no more is kept. */
#define TOPE (1 << 18)

static struct cuadro cuadros[TOPE];
static atomic_long ncuadros;
static ns tics[TOPE];
static atomic_long ntics;

/* Single events, each written once by the writer thread. */
static atomic_llong t_inicio, t_modo, t_titulo;
static atomic_int r_modo;
static struct { ns t; long vel; int env; } timers[8];
static atomic_int ntimers;
static ns esperas[64];
static atomic_int nesperas;

static FILE *salida;
static int activo;

/* The frame being drawn, only touched by the game's main thread. */
static struct cuadro actual;
static int abierto;

static uintptr_t exe_ini, exe_fin;

static void (*proc_juego)(void);

static ns ahora(void)
{
   struct timespec ts;
   clock_gettime(CLOCK_MONOTONIC, &ts);
   return (ns)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

/* Only the game's own calls count: Allegro calls some of these itself. */
static int del_juego(void *ret)
{
   uintptr_t a = (uintptr_t)ret;
   return a >= exe_ini && a < exe_fin;
}

static int ver_exe(struct dl_phdr_info *info, size_t tam, void *dato)
{
   (void)tam;
   (void)dato;
   uintptr_t ini = UINTPTR_MAX, fin = 0;
   for (int i = 0; i < info->dlpi_phnum; i++) {
      const ElfW(Phdr) *p = &info->dlpi_phdr[i];
      if (p->p_type != PT_LOAD)
         continue;
      uintptr_t a = info->dlpi_addr + p->p_vaddr;
      if (a < ini)
         ini = a;
      if (a + p->p_memsz > fin)
         fin = a + p->p_memsz;
   }
   exe_ini = ini;
   exe_fin = fin;
   return 1; /* the first object is the program itself */
}

static void *real(const char *nombre)
{
   void *f = dlsym(RTLD_NEXT, nombre);
   if (!f) {
      fprintf(stderr, "sombra: no encuentro %s\n", nombre);
      _exit(99);
   }
   return f;
}

static long escritos_c, escritos_t;
static int escritos_timers, escritos_esperas;
static int hecho_inicio, hecho_modo, hecho_titulo;
static pthread_mutex_t cerrojo = PTHREAD_MUTEX_INITIALIZER;

static void volcar(void)
{
   pthread_mutex_lock(&cerrojo);
   if (!hecho_inicio && atomic_load(&t_inicio)) {
      fprintf(salida, "inicio %lld\n", (long long)atomic_load(&t_inicio));
      hecho_inicio = 1;
   }
   if (!hecho_modo && atomic_load(&t_modo)) {
      fprintf(salida, "modo %lld %d\n", (long long)atomic_load(&t_modo), atomic_load(&r_modo));
      hecho_modo = 1;
   }
   if (!hecho_titulo && atomic_load(&t_titulo)) {
      fprintf(salida, "titulo %lld\n", (long long)atomic_load(&t_titulo));
      hecho_titulo = 1;
   }
   int n = atomic_load(&ntimers);
   for (; escritos_timers < n; escritos_timers++)
      fprintf(salida, "timer %lld %ld %d\n", (long long)timers[escritos_timers].t,
              timers[escritos_timers].vel, timers[escritos_timers].env);
   n = atomic_load(&nesperas);
   for (; escritos_esperas < n; escritos_esperas++)
      fprintf(salida, "espera %lld\n", (long long)esperas[escritos_esperas]);
   long m = atomic_load(&ntics);
   for (; escritos_t < m; escritos_t++)
      fprintf(salida, "t %lld\n", (long long)tics[escritos_t]);
   m = atomic_load(&ncuadros);
   for (; escritos_c < m; escritos_c++) {
      const struct cuadro *q = &cuadros[escritos_c];
      fprintf(salida, "f %lld %lld %ld %d %d %d %d %d %lld %lld %lld %lld %lld\n",
              (long long)q->ini, (long long)q->fin, q->tic, q->x, q->y, q->nb, q->ns_, q->nm,
              (long long)q->tt, (long long)q->tb, (long long)q->ts, (long long)q->tm,
              (long long)q->tc);
   }
   fflush(salida);
   pthread_mutex_unlock(&cerrojo);
}

static void *escritor(void *dato)
{
   (void)dato;
   struct timespec pausa = {0, 100000000};
   for (;;) {
      nanosleep(&pausa, NULL);
      volcar();
   }
   return NULL;
}

__attribute__((constructor)) static void empezar(void)
{
   ns t = ahora();
   const char *ruta = getenv("CARRERA_SOMBRA");
   if (!ruta || !*ruta)
      return;
   /* Children of the game must not write over the same log. */
   unsetenv("CARRERA_SOMBRA");
   salida = fopen(ruta, "w");
   if (!salida) {
      perror("sombra");
      return;
   }
   dl_iterate_phdr(ver_exe, NULL);
   atomic_store(&t_inicio, t);
   activo = 1;
   pthread_t hilo;
   pthread_create(&hilo, NULL, escritor, NULL);
   pthread_detach(hilo);
}

__attribute__((destructor)) static void terminar(void)
{
   if (activo)
      volcar();
}

/* Every counted call ends here: it may be the frame's last. */
static void fin_llamada(ns t)
{
   if (abierto)
      actual.fin = t;
}

static void cerrar_cuadro(void)
{
   if (!abierto)
      return;
   long n = atomic_load(&ncuadros);
   if (n < TOPE) {
      cuadros[n] = actual;
      atomic_store(&ncuadros, n + 1);
   }
   abierto = 0;
}

static void tic(void)
{
   long n = atomic_load(&ntics);
   if (n < TOPE) {
      tics[n] = ahora();
      atomic_store(&ntics, n + 1);
   }
   proc_juego();
}

int install_int_ex(void (*proc)(void), long speed)
{
   static int (*f)(void (*)(void), long);
   if (!f)
      f = real("install_int_ex");
   if (!activo || !del_juego(__builtin_return_address(0)))
      return f(proc, speed);
   /* Allegro knows a timer by its proc: the game never removes its timers,
    * so the stand-in may take the place of the first one for good. */
   int env = !proc_juego;
   if (env)
      proc_juego = proc;
   int n = atomic_load(&ntimers);
   if (n < 8) {
      timers[n].t = ahora();
      timers[n].vel = speed;
      timers[n].env = env;
      atomic_store(&ntimers, n + 1);
   }
   return f(env ? tic : proc, speed);
}

static void (*sprite_real)(BITMAP *, const RLE_SPRITE *, int, int);
static GFX_VTABLE tabla;

static void sprite(BITMAP *bmp, const RLE_SPRITE *spr, int x, int y)
{
   if (bmp != screen || !del_juego(__builtin_return_address(0))) {
      sprite_real(bmp, spr, x, y);
      return;
   }
   ns t0 = ahora();
   sprite_real(bmp, spr, x, y);
   ns t1 = ahora();
   if (abierto) {
      actual.x = x;
      actual.y = y;
      actual.ns_++;
      actual.ts += t1 - t0;
   }
   fin_llamada(t1);
}

int set_gfx_mode(int card, int w, int h, int v_w, int v_h)
{
   static int (*f)(int, int, int, int, int);
   if (!f)
      f = real("set_gfx_mode");
   int r = f(card, w, h, v_w, v_h);
   if (!activo || !del_juego(__builtin_return_address(0)))
      return r;
   if (r == 0 && screen && !sprite_real) {
      /* The game's draw_rle_sprite is inlined into a call through the
       * screen's vtable: give the screen a copy with our sprite in it. */
      tabla = *screen->vtable;
      sprite_real = tabla.draw_rle_sprite;
      tabla.draw_rle_sprite = sprite;
      screen->vtable = &tabla;
   }
   if (!atomic_load(&t_modo)) {
      atomic_store(&r_modo, r);
      atomic_store(&t_modo, ahora());
   }
   return r;
}

void textprintf_ex(BITMAP *bmp, const FONT *f, int x, int y, int color, int bg,
                   const char *format, ...)
{
   static void (*texto)(BITMAP *, const FONT *, const char *, int, int, int, int);
   if (!texto)
      texto = real("textout_ex");
   char buf[1024];
   va_list va;
   va_start(va, format);
   vsnprintf(buf, sizeof buf, format, va);
   va_end(va);
   if (!activo || bmp != screen || !del_juego(__builtin_return_address(0))) {
      texto(bmp, f, buf, x, y, color, bg);
      return;
   }
   ns t0 = ahora();
   if (x == 1 && y == 1) {
      /* The lap text opens a frame: the one before ended with its last call. */
      cerrar_cuadro();
      memset(&actual, 0, sizeof actual);
      actual.ini = t0;
      actual.fin = t0;
      actual.tic = atomic_load(&ntics);
      actual.x = actual.y = -1;
      abierto = 1;
   }
   texto(bmp, f, buf, x, y, color, bg);
   ns t1 = ahora();
   if (abierto)
      actual.tt += t1 - t0;
   fin_llamada(t1);
}

void blit(BITMAP *src, BITMAP *dst, int sx, int sy, int dx, int dy, int w, int h)
{
   static void (*f)(BITMAP *, BITMAP *, int, int, int, int, int, int);
   if (!f)
      f = real("blit");
   if (!activo || dst != screen || !del_juego(__builtin_return_address(0))) {
      f(src, dst, sx, sy, dx, dy, w, h);
      return;
   }
   ns t0 = ahora();
   f(src, dst, sx, sy, dx, dy, w, h);
   ns t1 = ahora();
   if (w == 800 && h == 600 && !atomic_load(&t_titulo))
      atomic_store(&t_titulo, t1);
   if (abierto) {
      actual.nb++;
      actual.tb += t1 - t0;
   }
   fin_llamada(t1);
}

int play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop)
{
   static int (*f)(const SAMPLE *, int, int, int, int);
   if (!f)
      f = real("play_sample");
   if (!activo || !del_juego(__builtin_return_address(0)))
      return f(spl, vol, pan, freq, loop);
   ns t0 = ahora();
   int r = f(spl, vol, pan, freq, loop);
   ns t1 = ahora();
   if (abierto) {
      actual.nm++;
      actual.tm += t1 - t0;
   }
   fin_llamada(t1);
   return r;
}

void set_color(int idx, const RGB *p)
{
   static void (*f)(int, const RGB *);
   if (!f)
      f = real("set_color");
   if (!activo || !del_juego(__builtin_return_address(0))) {
      f(idx, p);
      return;
   }
   ns t0 = ahora();
   f(idx, p);
   ns t1 = ahora();
   if (abierto)
      actual.tc += t1 - t0;
   fin_llamada(t1);
}

void clear_keybuf(void)
{
   static void (*f)(void);
   if (!f)
      f = real("clear_keybuf");
   f();
   if (!activo || !del_juego(__builtin_return_address(0)))
      return;
   /* Leaving the race: the frame still open never got its next lap text. */
   abierto = 0;
   int n = atomic_load(&nesperas);
   if (n < 64) {
      esperas[n] = ahora();
      atomic_store(&nesperas, n + 1);
   }
}
