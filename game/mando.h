#pragma once
// A gamepad plays as the keys do; the game's own keys are untouched. Plain
// functions on Allegro's joystick record, so they can be checked without a pad.
#include <allegro.h>

// What one look at a pad found.
struct mando {
   bool arriba, abajo, derecha, izquierda;
   unsigned botones;  // held: the face buttons bits 0 to 3, Start bit 4; a
                      // new one passes the title and the pages
   bool start;        // ends the race, as Space does
};

// A stick leans once it is past half its travel (Allegro gives about
// -128..128): -1, 0 or +1. Less does nothing, so a thumb resting on the
// stick does not drive.
const int zona_muerta = 64;
inline int lado(int pos)
{
   return pos <= -zona_muerta ? -1 : pos >= zona_muerta ? 1 : 0;
}

// The d-pad is the last stick with two axes after the left stick: its hat
// under Linux (after the triggers and the right stick) and under DirectInput.
// -1 when the pad has none of its own. The sticks between are never read, so
// a trigger resting at one end of its travel holds no arrow.
inline int cruceta(const JOYSTICK_INFO &j)
{
   for (int s = j.num_sticks - 1; s > 0; s--)
      if (j.stick[s].num_axis == 2)
         return s;
   return -1;
}

// Start's button, counted from 0: the one named in allegro.cfg when there is
// one (ajuste >= 0), else by the pad's layout. A PlayStation-layout pad has
// 13 buttons or more (13 under Linux, 14 under DirectInput) and Options is 9;
// an Xbox-layout one fewer (11 under Linux, 10 under DirectInput), Start 7.
// -1: none.
inline int boton_start(int botones, int ajuste)
{
   int b = ajuste >= 0 ? ajuste : botones >= 13 ? 9 : 7;
   return b < botones ? b : -1;
}

inline void palanca(const JOYSTICK_STICK_INFO &s, mando &m)
{
   if (s.num_axis < 2)
      return;
   m.izquierda |= lado(s.axis[0].pos) < 0;
   m.derecha |= lado(s.axis[0].pos) > 0;
   m.arriba |= lado(s.axis[1].pos) < 0;
   m.abajo |= lado(s.axis[1].pos) > 0;
}

// One pad, added to what the others hold: the left stick and the d-pad are
// the arrows, several at once; the four face buttons (0 to 3 in both
// layouts) and Start are buttons.
inline void leer_mando(const JOYSTICK_INFO &j, int ajuste, mando &m)
{
   if (j.num_sticks > 0)
      palanca(j.stick[0], m);
   int c = cruceta(j);
   if (c > 0)
      palanca(j.stick[c], m);
   for (int b = 0; b < 4 && b < j.num_buttons; b++)
      if (j.button[b].b)
         m.botones |= 1u << b;
   int s = boton_start(j.num_buttons, ajuste);
   if (s >= 0 && j.button[s].b) {
      m.start = true;
      m.botones |= 1u << 4;
   }
}
