#pragma once
// The race's rules as plain functions, so they can be checked without a screen.
#include <atomic>
#include <cstddef>
#include <cstdio>

// One second of the race clock. Works on ints and on the timer's atomics.
template <class T> void paso_reloj(T &crh, T &crm, T &crs)
{
   crs++;
   if (crs > 59) {
      crm++;
      crs = 0;
   }
   if (crm > 59) {
      crh++;
      crm = 0;
   }
}

// A frame takes one tick of the 100-a-second counter, and only once it has
// come. Ticks that came while the game was held off the processor stay and
// run as frames back to back, so the car keeps real time; but at most a
// tenth of a second of them (10) waits, so a long stall does not throw the
// car across the track. False when no tick is there yet (or the timer raised
// the counter meanwhile): look again.
const int ticks_max = 10;
inline bool tomar_tick(std::atomic<int> &c)
{
   int hay = c.load();
   if (hay <= 0)
      return false;
   int quedan = hay - 1 > ticks_max ? ticks_max : hay - 1;
   return c.compare_exchange_strong(hay, quedan);
}

// Five checkpoints make a lap. Taking five rather than clearing to zero keeps
// laps counting when two checkpoints fall in one frame and the count jumps past 5.
inline void regla_vuelta(int &vueltas, int &marcas)
{
   if (marcas >= 5) {
      vueltas++;
      marcas -= 5;
   }
}

// The clock text: a space before one-digit seconds, no leading zeros, padded
// to a fixed width so that a shorter time (1:0: 0 after 0:59:59) leaves no
// digit of the longer one behind.
const int ancho_reloj = 9;
inline void texto_reloj(char *buf, std::size_t n, int crh, int crm, int crs)
{
   int largo = std::snprintf(buf, n, crs <= 9 ? "%i:%i: %i" : "%i:%i:%i", crh, crm, crs);
   if (largo < 0 || (std::size_t)largo >= n)
      return;
   while (largo < ancho_reloj && (std::size_t)largo + 1 < n)
      buf[largo++] = ' ';
   buf[largo] = '\0';
}

// One arrow key: the axis it moves, its step, the bound that stops it and
// the checkpoint lines it counts.
struct tecla {
   bool vertical;
   int paso;           // -1 or +1
   unsigned limite;    // a -1 step needs v > limite, a +1 step v <= limite
   unsigned marca1, marca2;
};

const tecla arriba = {true, -1, 90, 212, 212};
const tecla abajo = {true, +1, 495, 212, 364};
const tecla derecha = {false, +1, 502, 390, 390};
const tecla izquierda = {false, -1, 163, 310, 310};

// One key's step: returns the checkpoints it counts (0 or 1), tested at the
// position before the step. At the bound only the step is skipped.
inline int mover(const tecla &t, unsigned &x, unsigned &y)
{
   unsigned &v = t.vertical ? y : x;
   int marca = (v == t.marca1 || v == t.marca2) ? 1 : 0;
   if (t.paso < 0 ? v > t.limite : v <= t.limite)
      v += t.paso;
   return marca;
}
