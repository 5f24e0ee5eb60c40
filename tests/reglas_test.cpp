// The race's rules, checked without a screen.
#include <gtest/gtest.h>

#include <allegro.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "mando.h"
#include "reglas.h"

namespace {

struct hora {
   int h, m, s;
};

TEST(reloj, un_segundo_lleva_a_la_hora_siguiente)
{
   struct {
      hora antes, despues;
   } casos[] = {
      {{0, 0, 0}, {0, 0, 1}},
      {{0, 0, 58}, {0, 0, 59}},
      {{0, 0, 59}, {0, 1, 0}},     // a minute in
      {{0, 59, 59}, {1, 0, 0}},    // an hour in
      {{1, 59, 59}, {2, 0, 0}},
      {{99, 59, 59}, {100, 0, 0}}, // hours have no bound
   };
   for (auto &k : casos) {
      int h = k.antes.h, m = k.antes.m, s = k.antes.s;
      paso_reloj(h, m, s);
      EXPECT_EQ(h, k.despues.h) << k.antes.h << ":" << k.antes.m << ":" << k.antes.s;
      EXPECT_EQ(m, k.despues.m) << k.antes.h << ":" << k.antes.m << ":" << k.antes.s;
      EXPECT_EQ(s, k.despues.s) << k.antes.h << ":" << k.antes.m << ":" << k.antes.s;
   }
}

TEST(reloj, una_hora_de_segundos_sobre_los_contadores_del_timer)
{
   std::atomic<int> h{0}, m{0}, s{0};
   for (int i = 0; i < 3600 + 61; i++)
      paso_reloj(h, m, s);
   EXPECT_EQ(h.load(), 1);
   EXPECT_EQ(m.load(), 1);
   EXPECT_EQ(s.load(), 1);
}

TEST(reloj, texto)
{
   struct {
      hora t;
      const char *texto;
   } casos[] = {
      {{0, 0, 0}, "0:0: 0   "},   // one-digit seconds get a space
      {{0, 0, 9}, "0:0: 9   "},
      {{0, 0, 10}, "0:0:10   "},
      {{0, 1, 0}, "0:1: 0   "},   // no leading zeros on minutes
      {{0, 59, 59}, "0:59:59  "},
      {{1, 0, 0}, "1:0: 0   "},
      {{12, 34, 56}, "12:34:56 "},
   };
   for (auto &k : casos) {
      char b[32];
      texto_reloj(b, sizeof b, k.t.h, k.t.m, k.t.s);
      EXPECT_STREQ(b, k.texto);
      EXPECT_EQ(std::strlen(b), (size_t)ancho_reloj);
   }
}

// Draws the clock the way the race does, frame after frame, and checks that
// after every step the screen shows exactly the current time: no character
// of an older, longer text is left behind (0:59:59 -> 1:0: 0).
TEST(reloj, lo_dibujado_no_deja_restos)
{
   ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
   set_color_depth(8);
   BITMAP *pantalla = create_bitmap(80, 8);
   BITMAP *limpia = create_bitmap(80, 8);
   clear_to_color(pantalla, 0);
   int h = 0, m = 59, s = 50;
   char b[32];
   for (int i = 0; i < 20; i++) {
      texto_reloj(b, sizeof b, h, m, s);
      textprintf_ex(pantalla, font, 0, 0, 255, 9, "%s", b);
      clear_to_color(limpia, 0);
      textprintf_ex(limpia, font, 0, 0, 255, 9, "%s", b);
      for (int py = 0; py < 8; py++)
         for (int px = 0; px < 80; px++)
            ASSERT_EQ(getpixel(pantalla, px, py), getpixel(limpia, px, py))
               << "at " << px << "," << py << " showing " << b;
      paso_reloj(h, m, s);
   }
   EXPECT_EQ(h, 1);
   destroy_bitmap(pantalla);
   destroy_bitmap(limpia);
}

TEST(vueltas, cinco_marcas_hacen_una_vuelta)
{
   struct {
      int marcas, vueltas_despues, marcas_despues;
   } casos[] = {
      {0, 0, 0},
      {4, 0, 4},
      {5, 1, 0},
      {6, 1, 1},   // two checkpoints in the lap's last frame still make the lap
      {10, 1, 5},  // and the next frame counts the second one
   };
   for (auto &k : casos) {
      int vueltas = 0, marcas = k.marcas;
      regla_vuelta(vueltas, marcas);
      EXPECT_EQ(vueltas, k.vueltas_despues) << "with " << k.marcas << " checkpoints";
      EXPECT_EQ(marcas, k.marcas_despues) << "with " << k.marcas << " checkpoints";
   }
}

TEST(ritmo, un_cuadro_toma_un_tick_y_no_guarda_mas_de_diez)
{
   struct {
      int ticks;
      bool corre;
      int quedan;
   } casos[] = {
      {0, false, 0},    // no tick yet: the frame waits
      {1, true, 0},     // quiet: one frame per tick
      {2, true, 1},     // one tick behind: the next frame runs at once
      {10, true, 9},
      {11, true, 10},   // a tenth of a second is kept
      {500, true, 10},  // after a long stall, no more
   };
   for (auto &k : casos) {
      std::atomic<int> c{k.ticks};
      EXPECT_EQ(tomar_tick(c), k.corre) << "with " << k.ticks << " ticks";
      EXPECT_EQ(c.load(), k.quedan) << "with " << k.ticks << " ticks";
   }
}

// One frame of car control, in the race's key order.
struct teclas {
   bool up, down, right, left;
};
int cuadro(teclas t, unsigned &x, unsigned &y)
{
   int marcas = 0;
   if (t.up) marcas += mover(arriba, x, y);
   if (t.down) marcas += mover(abajo, x, y);
   if (t.right) marcas += mover(derecha, x, y);
   if (t.left) marcas += mover(izquierda, x, y);
   return marcas;
}

TEST(coche, cada_tecla_con_su_marca_y_su_limite)
{
   struct {
      const char *que;
      teclas t;
      unsigned x, y, x_despues, y_despues;
      int marcas;
   } casos[] = {
      {"up from the start", {1, 0, 0, 0}, 300, 490, 300, 489, 0},
      {"up across its line", {1, 0, 0, 0}, 300, 212, 300, 211, 1},
      {"up onto its line counts nothing yet", {1, 0, 0, 0}, 300, 213, 300, 212, 0},
      {"up across 364 is against the way", {1, 0, 0, 0}, 300, 364, 300, 363, 0},
      {"up at the top bound", {1, 0, 0, 0}, 300, 90, 300, 90, 0},
      {"down across 212", {0, 1, 0, 0}, 503, 212, 503, 213, 1},
      {"down across 364", {0, 1, 0, 0}, 503, 364, 503, 365, 1},
      {"down to the bottom bound", {0, 1, 0, 0}, 503, 495, 503, 496, 0},
      {"down at the bottom bound", {0, 1, 0, 0}, 503, 496, 503, 496, 0},
      {"right across 390", {0, 0, 1, 0}, 390, 90, 391, 90, 1},
      {"right across 310 is against the way", {0, 0, 1, 0}, 310, 90, 311, 90, 0},
      {"right at the right bound", {0, 0, 1, 0}, 503, 90, 503, 90, 0},
      {"left across 310", {0, 0, 0, 1}, 310, 496, 309, 496, 1},
      {"left across 390 is against the way", {0, 0, 0, 1}, 390, 496, 389, 496, 0},
      {"left at the left bound", {0, 0, 0, 1}, 163, 496, 163, 496, 0},
      {"a bound still tests the line", {0, 0, 0, 1}, 310, 90, 309, 90, 1},
      {"down at 212 with right at 390: two in one frame", {0, 1, 1, 0}, 390, 212, 391, 213, 2},
      {"up and down held at 212 count and stay", {1, 1, 0, 0}, 300, 212, 300, 212, 1},
      {"right and left held at 390 count and stay", {0, 0, 1, 1}, 390, 300, 390, 300, 1},
      {"all four keys", {1, 1, 1, 1}, 300, 300, 300, 300, 0},
   };
   for (auto &k : casos) {
      unsigned x = k.x, y = k.y;
      int marcas = cuadro(k.t, x, y);
      EXPECT_EQ(x, k.x_despues) << k.que;
      EXPECT_EQ(y, k.y_despues) << k.que;
      EXPECT_EQ(marcas, k.marcas) << k.que;
   }
}

// Driving the bounds once round, in either direction, makes exactly one lap.
TEST(coche, una_vuelta_por_los_limites)
{
   struct {
      const char *que;
      teclas tramos[4];
   } vueltas[] = {
      {"clockwise", {{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}}},
      {"anticlockwise", {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 0}}},
   };
   for (auto &v : vueltas) {
      unsigned x = 300, y = 490;
      int vueltas = 0, marcas = 0;
      for (int vez = 0; vez < 2; vez++)
         for (auto &t : v.tramos)
            for (int i = 0; i < 600; i++) {
               regla_vuelta(vueltas, marcas);
               marcas += cuadro(t, x, y);
               ASSERT_TRUE(x >= 163 && x <= 503 && y >= 90 && y <= 496) << x << "," << y;
            }
      regla_vuelta(vueltas, marcas);
      EXPECT_EQ(vueltas, 2) << v.que;
      EXPECT_EQ(marcas, 0) << v.que;
   }
}

// A pad as Allegro's drivers lay it out. Linux (xpad, hid-playstation): the
// kernel's eight axes, LX LY LT RX RY RT and the hat's two, paired into four
// sticks at value*127/32767. DirectInput: X Y Z (Z the triggers, or the
// right stick's X) one stick, Rz alone (unsigned), the hat last at +-128.
const int T = 32767;
JOYSTICK_INFO pad(const std::string &tipo, std::vector<int> v, std::vector<int> pulsados)
{
   JOYSTICK_INFO j = {};
   std::vector<std::vector<int>> palancas;
   if (tipo == "xpad" || tipo == "ps") {
      for (int &e : v)
         e = e * 127 / T;
      palancas = {{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}, {v[6], v[7]}};
      j.num_buttons = tipo == "ps" ? 13 : 11;
   } else if (tipo == "dx xbox") {
      palancas = {{v[0], v[1], v[2]}, {v[3], v[4]}};
      j.num_buttons = 10;
   } else {
      palancas = {{v[0], v[1], v[2]}, {v[3]}, {v[4], v[5]}};
      j.num_buttons = 14;
   }
   j.num_sticks = palancas.size();
   for (size_t s = 0; s < palancas.size(); s++) {
      j.stick[s].num_axis = palancas[s].size();
      for (size_t a = 0; a < palancas[s].size(); a++)
         j.stick[s].axis[a].pos = palancas[s][a];
   }
   for (int b : pulsados)
      j.button[b].b = 1;
   return j;
}

std::string leido(const JOYSTICK_INFO &j, int ajuste = -1)
{
   mando m = {};
   leer_mando(j, ajuste, m);
   return std::string(m.arriba ? "U" : "") + (m.abajo ? "D" : "") + (m.derecha ? "R" : "") +
          (m.izquierda ? "L" : "") + std::string(__builtin_popcount(m.botones), 'b') +
          (m.start ? "s" : "");
}

TEST(mando, el_stick_izquierdo_y_la_cruceta_son_las_flechas)
{
   struct {
      const char *que, *tipo;
      std::vector<int> ejes, botones;
      const char *hace;
   } casos[] = {
      {"at rest, the triggers at their Linux end", "xpad", {0, 0, -T, 0, 0, -T, 0, 0}, {}, ""},
      {"triggers and right stick pushed full", "xpad", {0, 0, T, -T, -T, T, 0, 0}, {}, ""},
      {"the left stick up", "xpad", {0, -T, -T, 0, 0, -T, 0, 0}, {}, "U"},
      {"the left stick short of half way", "xpad", {16000, -16000, -T, 0, 0, -T, 0, 0}, {}, ""},
      {"the left stick past half way", "xpad", {16700, 0, -T, 0, 0, -T, 0, 0}, {}, "R"},
      {"the left stick down and left", "ps", {-T, T, -T, 0, 0, -T, 0, 0}, {}, "DL"},
      {"the d-pad right and the stick up", "ps", {0, -T, -T, 0, 0, -T, T, 0}, {}, "UR"},
      {"the d-pad up and left", "xpad", {0, 0, -T, 0, 0, -T, -T, -T}, {}, "UL"},
      {"A and Y, each its own", "xpad", {0, 0, -T, 0, 0, -T, 0, 0}, {0, 3}, "bb"},
      {"an Xbox pad's Start", "xpad", {0, 0, -T, 0, 0, -T, 0, 0}, {7}, "bs"},
      {"an Xbox pad's shoulders, Back and stick clicks", "xpad", {0, 0, -T, 0, 0, -T, 0, 0},
       {4, 5, 6, 8, 9, 10}, ""},
      {"a PlayStation pad's Options", "ps", {0, 0, -T, 0, 0, -T, 0, 0}, {9}, "bs"},
      {"a PlayStation pad's triggers and Create", "ps", {0, 0, -T, 0, 0, -T, 0, 0},
       {6, 7, 8, 10}, ""},
      {"DirectInput: the triggers on Z, one held", "dx xbox", {0, 0, 128, 0, 0}, {}, ""},
      {"DirectInput: the stick up, the hat right", "dx xbox", {0, -128, 0, 128, 0}, {}, "UR"},
      {"DirectInput: an Xbox pad's Start", "dx xbox", {0, 0, 0, 0, 0}, {7}, "bs"},
      {"DirectInput: the right stick", "dx ps", {0, 0, -128, 0, 0, 0}, {}, ""},
      {"DirectInput: the hat down", "dx ps", {0, 0, 0, 128, 0, 128}, {}, "D"},
      {"DirectInput: Options, not R2", "dx ps", {0, 0, 0, 128, 0, 0}, {9}, "bs"},
      {"DirectInput: R2", "dx ps", {0, 0, 0, 128, 0, 0}, {7}, ""},
   };
   for (auto &k : casos)
      EXPECT_EQ(leido(pad(k.tipo, k.ejes, k.botones)), k.hace) << k.que;
}

TEST(mando, start_por_disposicion_o_por_ajuste)
{
   struct {
      int botones, ajuste, start;
   } casos[] = {
      {10, -1, 7}, {11, -1, 7}, {12, -1, 7},  // Xbox layouts
      {13, -1, 9}, {14, -1, 9}, {17, -1, 9},  // PlayStation layouts
      {6, -1, -1},                            // too few buttons: none
      {12, 9, 9}, {13, 4, 4},                 // allegro.cfg names it
      {8, 9, -1},                             // a button the pad has not
   };
   for (auto &k : casos)
      EXPECT_EQ(boton_start(k.botones, k.ajuste), k.start)
         << k.botones << " buttons, set to " << k.ajuste;
   JOYSTICK_INFO j = pad("xpad", {0, 0, -T, 0, 0, -T, 0, 0}, {5});
   EXPECT_EQ(leido(j, 5), "bs") << "RB set as Start";
   j.button[5].b = 0;
   j.button[7].b = 1;
   EXPECT_EQ(leido(j, 5), "") << "Start set elsewhere";
}

}  // namespace
