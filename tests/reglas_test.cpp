// The race's rules, and the desktop window's, checked without a screen.
#include <gtest/gtest.h>

#include <allegro.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cuentas.h"
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

// The desktop's window: its size on each screen, where the picture goes in it.
TEST(ventana, el_mayor_multiplo_que_deja_un_decimo_del_alto)
{
   struct {
      int w, h, escala;
   } casos[] = {
      {800, 600, 1},    // no room for the tenth: still x1, never less
      {1280, 720, 1},   {1920, 1080, 1}, {1920, 1200, 1},
      {2560, 1440, 2},  {3840, 2160, 3}, {5120, 2880, 4},
      {2560, 1080, 1},  // a wide screen is held by its height
      {1200, 2000, 1},  // a tall one by its width
      {640, 480, 1},
   };
   for (auto &k : casos)
      EXPECT_EQ(escala_ventana(k.w, k.h), k.escala) << k.w << "x" << k.h;
}

TEST(ventana, la_imagen_entera_centrada_en_negro)
{
   struct {
      int w, h;
      encaje e;
   } casos[] = {
      {800, 600, {0, 0, 800, 600}},        // pixel for pixel
      {1920, 1080, {560, 240, 800, 600}},  // x1, the rest black
      {1600, 1200, {0, 0, 1600, 1200}},    // x2 exactly
      {1700, 1300, {50, 50, 1600, 1200}},  // x2, not 2.1
      {3840, 2160, {720, 180, 2400, 1800}},
      {799, 600, {0, 0, 799, 599}},        // smaller: scaled down, its shape kept
      {640, 600, {0, 60, 640, 480}},
      {800, 500, {67, 0, 666, 500}},
   };
   for (auto &k : casos) {
      encaje e = encajar(k.w, k.h);
      EXPECT_TRUE(e.x == k.e.x && e.y == k.e.y && e.w == k.e.w && e.h == k.e.h)
         << k.w << "x" << k.h << ": got " << e.w << "x" << e.h << " at " << e.x << "," << e.y;
   }
}

TEST(ventana, la_pantalla_recordada_se_lee_o_se_ignora)
{
   struct {
      const char *texto;
      int completa;
   } casos[] = {
      {"completa = 1\n", 1}, {"completa = 0\n", 0}, {"completa=1", 1},
      {"  completa \t=  0  \r\n", 0},
      {"", -1}, {"completa = ", -1}, {"completa = 2\n", -1}, {"completa = 10\n", -1},
      {"completa = 1\ncompleta = 0\n", -1},  // more than the one line
      {"completo = 1\n", -1}, {"\x7f" "ELF\x02", -1},
   };
   for (auto &k : casos)
      EXPECT_EQ(leer_completa(k.texto), k.completa) << "\"" << k.texto << "\"";
}

// A pad's keys: the left stick past half its travel, the d-pad, the face buttons, Start.
TEST(mando, el_stick_izquierdo_y_la_cruceta_son_las_flechas)
{
   const int T = 32767;
   struct {
      const char *que;
      int x, y;
      unsigned botones, teclas;
   } casos[] = {
      {"at rest", 0, 0, 0, 0},
      {"the stick up", 0, -T - 1, 0, MANDO_ARRIBA},
      {"the stick short of half way", 16000, -16384, 0, 0},
      {"the stick past half way", 16500, 0, 0, MANDO_DERECHA},
      {"the stick down and left", -T, T, 0, MANDO_ABAJO | MANDO_IZQUIERDA},
      {"the d-pad right and the stick up", 0, -T, BOTON_DERECHA, MANDO_ARRIBA | MANDO_DERECHA},
      {"the d-pad up and left", 0, 0, BOTON_ARRIBA | BOTON_IZQUIERDA,
       MANDO_ARRIBA | MANDO_IZQUIERDA},
      {"the d-pad down", 0, 0, BOTON_ABAJO, MANDO_ABAJO},
      {"A", 0, 0, BOTON_A, MANDO_ENTRAR},
      {"B, X and Y together: one Return", 0, 0, BOTON_B | BOTON_X | BOTON_Y, MANDO_ENTRAR},
      {"Start", 0, 0, BOTON_START, MANDO_ESPACIO},
      {"Back, Guide, stick clicks and shoulders", 0, 0, 0x7f0u & ~(unsigned)BOTON_START, 0},
   };
   for (auto &k : casos)
      EXPECT_EQ(teclas_mando(k.x, k.y, k.botones), k.teclas) << k.que;
}

}  // namespace
