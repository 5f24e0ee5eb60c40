/* The sums the desktop's drivers make, as plain functions, so that the
 * tests can check them without a screen: the window's size, where the
 * picture goes in it, the remembered fullscreen, a pad's keys. */
#ifndef CARRERA_CUENTAS_H
#define CARRERA_CUENTAS_H

#define PANTALLA_W 800
#define PANTALLA_H 600

/* The window opens at the largest whole multiple of 800x600 that leaves a
 * tenth of the screen's height (desktop units) to the desktop; never below x1. */
static inline int escala_ventana(int w, int h)
{
   int e = (h - h / 10) / PANTALLA_H;
   if (w / PANTALLA_W < e)
      e = w / PANTALLA_W;
   return e < 1 ? 1 : e;
}

/* Where the picture goes in a drawable of w x h pixels: the largest whole
 * multiple that fits, centred; in one smaller than 800x600, the whole
 * picture scaled down with its shape kept. */
typedef struct { int x, y, w, h; } encaje;

static inline encaje encajar(int w, int h)
{
   encaje r;
   int e = w / PANTALLA_W < h / PANTALLA_H ? w / PANTALLA_W : h / PANTALLA_H;
   if (e >= 1) {
      r.w = PANTALLA_W * e;
      r.h = PANTALLA_H * e;
   } else if (w * PANTALLA_H < h * PANTALLA_W) {
      r.w = w;
      r.h = w * PANTALLA_H / PANTALLA_W;
   } else {
      r.w = h * PANTALLA_W / PANTALLA_H;
      r.h = h;
   }
   r.x = (w - r.w) / 2;
   r.y = (h - r.h) / 2;
   return r;
}

/* The player's remembered screen, a file of one line "completa = 0" or
 * "completa = 1" (spaces free around the words): 0 or 1, or -1 for
 * anything else, which is then ignored. */
static inline int leer_completa(const char *t)
{
   const char *p = t, *k = "completa";
   int v;
   while (*p == ' ' || *p == '\t')
      p++;
   while (*k && *p == *k)
      p++, k++;
   if (*k)
      return -1;
   while (*p == ' ' || *p == '\t')
      p++;
   if (*p++ != '=')
      return -1;
   while (*p == ' ' || *p == '\t')
      p++;
   if (*p != '0' && *p != '1')
      return -1;
   v = *p++ - '0';
   while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
      p++;
   return *p ? -1 : v;
}

/* A pad's keys, as bits: its left stick past half its travel and its
 * d-pad are the arrows, A, B, X and Y Return, Start Space. */
enum {
   MANDO_ARRIBA = 1, MANDO_ABAJO = 2, MANDO_IZQUIERDA = 4, MANDO_DERECHA = 8,
   MANDO_ENTRAR = 16, MANDO_ESPACIO = 32
};
/* Buttons as bits of the game controller's numbering. */
enum {
   BOTON_A = 1 << 0, BOTON_B = 1 << 1, BOTON_X = 1 << 2, BOTON_Y = 1 << 3,
   BOTON_START = 1 << 6, BOTON_ARRIBA = 1 << 11, BOTON_ABAJO = 1 << 12,
   BOTON_IZQUIERDA = 1 << 13, BOTON_DERECHA = 1 << 14
};
#define MEDIO_RECORRIDO 16384

static inline unsigned teclas_mando(int x, int y, unsigned botones)
{
   unsigned t = 0;
   if (y < -MEDIO_RECORRIDO || (botones & BOTON_ARRIBA))
      t |= MANDO_ARRIBA;
   if (y > MEDIO_RECORRIDO || (botones & BOTON_ABAJO))
      t |= MANDO_ABAJO;
   if (x < -MEDIO_RECORRIDO || (botones & BOTON_IZQUIERDA))
      t |= MANDO_IZQUIERDA;
   if (x > MEDIO_RECORRIDO || (botones & BOTON_DERECHA))
      t |= MANDO_DERECHA;
   if (botones & (BOTON_A | BOTON_B | BOTON_X | BOTON_Y))
      t |= MANDO_ENTRAR;
   if (botones & BOTON_START)
      t |= MANDO_ESPACIO;
   return t;
}

#endif
