// The built datos.dat, patches.dat and allegro.cfg, read back the way the
// game reads them.
#include <gtest/gtest.h>
#include <allegro.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "datos.h"
#include "reglas.h"

static DATAFILE *datos;

class datos_dat : public ::testing::Test {
protected:
   static void SetUpTestSuite()
   {
      install_allegro(SYSTEM_NONE, &errno, atexit);
      set_color_depth(8);
      datos = load_datafile(SALIDA "/datos.dat");
   }
   void SetUp() override { ASSERT_NE(datos, nullptr) << "no se pudo cargar datos.dat"; }
};

// The track and the cars as the game places them.
const int pista_x = 163, pista_y = 90;
const int blanco = 15;  // white in the default palette

struct entrada {
   int indice;
   const char *nombre;
   int tipo;
};

const entrada entradas[] = {
   {MUSICA, "MUSICA", DAT_MIDI},
   {COCHE_ABAJO, "COCHE_ABAJO", DAT_RLE_SPRITE},
   {COCHE_IZQUIERDA, "COCHE_IZQUIERDA", DAT_RLE_SPRITE},
   {COCHE_DERECHA, "COCHE_DERECHA", DAT_RLE_SPRITE},
   {COCHE_ARRIBA, "COCHE_ARRIBA", DAT_RLE_SPRITE},
   {MOTOR, "MOTOR", DAT_SAMPLE},
   {PISTA, "PISTA", DAT_BITMAP},
   {TITULO, "TITULO", DAT_BITMAP},
};

TEST_F(datos_dat, entradas_en_orden_con_su_tipo_y_nombre)
{
   int i = 0;
   for (const entrada &e : entradas) {
      SCOPED_TRACE(e.nombre);
      EXPECT_EQ(e.indice, i) << "datos.h";
      EXPECT_EQ(datos[i].type, e.tipo);
      EXPECT_STREQ(get_datafile_property(&datos[i], DAT_NAME), e.nombre);
      i++;
   }
   EXPECT_EQ(datos[i].type, DAT_END);
}

// A car image drawn on colour 0, so that it reads like a bitmap.
static BITMAP *pintado(int indice)
{
   RLE_SPRITE *s = (RLE_SPRITE *)datos[indice].dat;
   BITMAP *b = create_bitmap_ex(8, s->w, s->h);
   clear_to_color(b, 0);
   draw_rle_sprite(b, s, 0, 0);
   return b;
}

TEST_F(datos_dat, dibujos_de_ocho_bits_con_su_tamano)
{
   BITMAP *pista = (BITMAP *)datos[PISTA].dat, *titulo = (BITMAP *)datos[TITULO].dat;
   EXPECT_EQ(bitmap_color_depth(pista), 8);
   EXPECT_EQ(pista->w, 513);
   EXPECT_EQ(pista->h, 498);
   EXPECT_EQ(bitmap_color_depth(titulo), 8);
   EXPECT_EQ(titulo->w, 800);
   EXPECT_EQ(titulo->h, 600);

   RLE_SPRITE *arriba = (RLE_SPRITE *)datos[COCHE_ARRIBA].dat;
   for (int i : {COCHE_ABAJO, COCHE_IZQUIERDA, COCHE_DERECHA, COCHE_ARRIBA}) {
      RLE_SPRITE *s = (RLE_SPRITE *)datos[i].dat;
      SCOPED_TRACE(get_datafile_property(&datos[i], DAT_NAME));
      EXPECT_EQ(s->color_depth, 8);
      EXPECT_LE(s->w, 173);
      EXPECT_LE(s->h, 92);
      bool de_lado = i == COCHE_IZQUIERDA || i == COCHE_DERECHA;
      EXPECT_EQ(s->w, de_lado ? arriba->h : arriba->w);
      EXPECT_EQ(s->h, de_lado ? arriba->w : arriba->h);
   }
}

// dat must keep the painter's default-palette indices as they are.
TEST_F(datos_dat, dibujos_iguales_a_sus_pcx)
{
   const struct {
      int indice;
      const char *pcx;
   } fuentes[] = {
      {COCHE_ABAJO, "coche_abajo.pcx"},   {COCHE_IZQUIERDA, "coche_izquierda.pcx"},
      {COCHE_DERECHA, "coche_derecha.pcx"}, {COCHE_ARRIBA, "coche_arriba.pcx"},
      {PISTA, "pista.pcx"},               {TITULO, "titulo.pcx"},
   };
   for (auto &f : fuentes) {
      SCOPED_TRACE(f.pcx);
      PALETTE pal;
      BITMAP *pcx = load_bitmap((std::string(DIBUJOS "/") + f.pcx).c_str(), pal);
      ASSERT_NE(pcx, nullptr);
      for (int c = 0; c < 256; c++)
         ASSERT_TRUE(pal[c].r == default_palette[c].r && pal[c].g == default_palette[c].g &&
                     pal[c].b == default_palette[c].b) << "color " << c;
      bool rle = datos[f.indice].type == DAT_RLE_SPRITE;
      BITMAP *b = rle ? pintado(f.indice) : (BITMAP *)datos[f.indice].dat;
      ASSERT_EQ(b->w, pcx->w);
      ASSERT_EQ(b->h, pcx->h);
      int distintos = 0;
      for (int y = 0; y < b->h; y++)
         for (int x = 0; x < b->w; x++)
            distintos += getpixel(b, x, y) != getpixel(pcx, x, y);
      EXPECT_EQ(distintos, 0);
      if (rle)
         destroy_bitmap(b);
      destroy_bitmap(pcx);
   }
}

// Each car faces the way it moves: its yellow headlights are at the front,
// and around it is colour 0, which the game does not draw.
TEST_F(datos_dat, coches_miran_hacia_donde_van)
{
   const int amarillo = bestfit_color(default_palette, 63, 63, 21);
   const struct {
      int indice;
      int dx, dy;
   } coches[] = {
      {COCHE_ARRIBA, 0, -1}, {COCHE_ABAJO, 0, 1}, {COCHE_IZQUIERDA, -1, 0}, {COCHE_DERECHA, 1, 0},
   };
   for (auto &c : coches) {
      SCOPED_TRACE(get_datafile_property(&datos[c.indice], DAT_NAME));
      BITMAP *b = pintado(c.indice);
      int luces = 0, delante = 0, huecos = 0;
      for (int y = 0; y < b->h; y++)
         for (int x = 0; x < b->w; x++) {
            int p = getpixel(b, x, y);
            huecos += p == 0;
            if (p != amarillo)
               continue;
            luces++;
            int fx = c.dx < 0 ? x : b->w - 1 - x, fy = c.dy < 0 ? y : b->h - 1 - y;
            delante += (c.dx ? fx : fy) < (c.dx ? b->w : b->h) / 4;
         }
      EXPECT_GT(luces, 0);
      EXPECT_EQ(delante, luces);
      EXPECT_EQ(getpixel(b, 0, 0), 0);
      EXPECT_EQ(getpixel(b, b->w - 1, b->h - 1), 0);
      EXPECT_LT(huecos, b->w * b->h / 3) << "mostly car, not hole";
      destroy_bitmap(b);
   }
}

// Every track pixel under the car, with its corner at (x, y) on screen.
static int fuera_de_pista(BITMAP *pista, int imagen, int x, int y)
{
   RLE_SPRITE *s = (RLE_SPRITE *)datos[imagen].dat;
   int fuera = 0;
   for (int j = 0; j < s->h; j++)
      for (int i = 0; i < s->w; i++)
         fuera += getpixel(pista, x - pista_x + i, y - pista_y + j) <= 0;
   return fuera;
}

// Driving round along the bounds the game stops the car at, and from the
// start straight up, the car stays on the road all the way.
TEST_F(datos_dat, vuelta_por_los_limites_sobre_asfalto)
{
   BITMAP *pista = (BITMAP *)datos[PISTA].dat;
   const int x1 = izquierda.limite, x2 = derecha.limite + 1;
   const int y1 = arriba.limite, y2 = abajo.limite + 1;
   const struct {
      const char *lado;
      int imagen;
      int xa, ya, xb, yb;
   } lados[] = {
      {"subiendo por la izquierda", COCHE_ARRIBA, x1, y2, x1, y1},
      {"por arriba a la derecha", COCHE_DERECHA, x1, y1, x2, y1},
      {"bajando por la derecha", COCHE_ABAJO, x2, y1, x2, y2},
      {"por abajo a la izquierda", COCHE_IZQUIERDA, x2, y2, x1, y2},
      {"en la salida", COCHE_ARRIBA, 300, 490, 300, 490},
   };
   for (auto &l : lados) {
      SCOPED_TRACE(l.lado);
      int pasos = std::max(std::abs(l.xb - l.xa), std::abs(l.yb - l.ya));
      for (int k = 0; k <= pasos; k++) {
         int x = l.xa + (pasos ? (l.xb - l.xa) * k / pasos : 0);
         int y = l.ya + (pasos ? (l.yb - l.ya) * k / pasos : 0);
         ASSERT_EQ(fuera_de_pista(pista, l.imagen, x, y), 0) << "at " << x << "," << y;
      }
   }
}

TEST_F(datos_dat, cesped_de_color_cero)
{
   BITMAP *pista = (BITMAP *)datos[PISTA].dat;
   // The corners beyond the road and the middle of the infield.
   EXPECT_EQ(getpixel(pista, pista->w - 1, 0), 0);
   EXPECT_EQ(getpixel(pista, pista->w - 1, pista->h - 1), 0);
   EXPECT_EQ(getpixel(pista, 0, pista->h - 1), 0);
   EXPECT_EQ(getpixel(pista, 110, 110), 0);
   int cesped = 0;
   for (int y = 0; y < pista->h; y++)
      for (int x = 0; x < pista->w; x++)
         cesped += getpixel(pista, x, y) == 0;
   EXPECT_GT(cesped, pista->w * pista->h / 5);
}

// Share of white and of other marked pixels in a line across the road,
// where the car's corner crosses a counting line.
static int asfalto(BITMAP *pista)
{
   int cuenta[256] = {0}, mas = 1;
   for (int y = 0; y < pista->h; y++)
      for (int x = 0; x < pista->w; x++)
         cuenta[getpixel(pista, x, y)]++;
   for (int c = 1; c < 256; c++)
      if (cuenta[c] > cuenta[mas])
         mas = c;
   return mas;
}

static void raya(BITMAP *pista, bool horizontal, int v, int desde, int hasta, int &blancos,
                 int &otros)
{
   static int gris = asfalto(pista);
   blancos = otros = 0;
   for (int u = desde; u < hasta; u++) {
      int p = horizontal ? getpixel(pista, u, v) : getpixel(pista, v, u);
      blancos += p == blanco;
      otros += p != blanco && p != gris && p > 0;
   }
}

TEST_F(datos_dat, marcas_de_control_visibles_donde_cuentan)
{
   BITMAP *pista = (BITMAP *)datos[PISTA].dat;
   RLE_SPRITE *a = (RLE_SPRITE *)datos[COCHE_ARRIBA].dat;
   const int x1 = izquierda.limite - pista_x, x2 = derecha.limite + 1 - pista_x;
   const int y1 = arriba.limite - pista_y, y2 = abajo.limite + 1 - pista_y;
   const struct {
      const char *donde;
      bool horizontal;  // a line across a side of the track
      int v, desde, hasta;
   } marcas[] = {
      {"subiendo", true, (int)arriba.marca1 - pista_y, x1, x1 + a->w},
      {"bajando", true, (int)abajo.marca1 - pista_y, x2, x2 + a->w},
      {"bajando, abajo", true, (int)abajo.marca2 - pista_y, x2, x2 + a->w},
      {"a la derecha", false, (int)derecha.marca1 - pista_x, y1, y1 + a->w},
      {"a la izquierda", false, (int)izquierda.marca1 - pista_x, y2, y2 + a->w},
   };
   for (auto &m : marcas) {
      SCOPED_TRACE(m.donde);
      int blancos, otros;
      raya(pista, m.horizontal, m.v, m.desde, m.hasta, blancos, otros);
      EXPECT_GE(blancos * 4, m.hasta - m.desde);
      EXPECT_GE(otros * 4, m.hasta - m.desde);
      // Away from the mark the road is plain.
      raya(pista, m.horizontal, m.v + 20, m.desde, m.hasta, blancos, otros);
      EXPECT_LT(blancos * 4, m.hasta - m.desde);
   }
}

TEST_F(datos_dat, sonido_del_paso)
{
   SAMPLE *s = (SAMPLE *)datos[MOTOR].dat;
   EXPECT_FALSE(s->stereo);
   ASSERT_TRUE(s->bits == 8 || s->bits == 16);
   double segundos = (double)s->len / s->freq;
   EXPECT_GE(segundos, 0.05);
   EXPECT_LE(segundos, 0.15);
   // The game restarts it every hundredth of a second, so that first
   // hundredth must sound loud, and the end fades out.
   auto nivel = [&](unsigned desde, unsigned hasta) {
      double suma = 0;
      for (unsigned i = desde; i < hasta; i++) {
         double v = s->bits == 8 ? ((unsigned char *)s->data)[i] - 128.0
                                 : ((unsigned short *)s->data)[i] / 256.0 - 128.0;
         suma += v * v;
      }
      return std::sqrt(suma / (hasta - desde));
   };
   unsigned centesima = s->freq / 100;
   EXPECT_GT(nivel(0, centesima), 30.0);
   EXPECT_LT(nivel(s->len - centesima / 2, s->len), nivel(0, centesima) / 3);
}

// What a walk through the tune's events finds. Allegro's own
// get_midi_length needs the timer, which a test without a system lacks.
struct tema {
   double segundos = 0;
   int notas = 0;
   std::set<int> programas;  // 0-based, as in the program change events
};

static unsigned largo_variable(const unsigned char *&p)
{
   unsigned v = 0;
   do
      v = (v << 7) | (*p & 0x7F);
   while (*p++ & 0x80);
   return v;
}

static tema leer_tema(const MIDI *m)
{
   tema t;
   std::map<long, long> tempos = {{0, 500000}};  // tick -> microseconds a beat
   long fin = 0;
   for (int i = 0; i < MIDI_TRACKS; i++) {
      const unsigned char *p = m->track[i].data, *final = p + m->track[i].len;
      long tick = 0;
      int estado = 0;
      while (p && p < final) {
         tick += largo_variable(p);
         if (*p == 0xFF) {
            int tipo = p[1];
            p += 2;
            unsigned n = largo_variable(p);
            if (tipo == 0x51)
               tempos[tick] = (p[0] << 16) | (p[1] << 8) | p[2];
            p += n;
            if (tipo == 0x2F)
               break;
            continue;
         }
         if (*p == 0xF0 || *p == 0xF7) {
            p++;
            p += largo_variable(p);
            continue;
         }
         if (*p & 0x80)
            estado = *p++;
         int orden = estado & 0xF0;
         if (orden == 0x90 && p[1] > 0)
            t.notas++;
         if (orden == 0xC0)
            t.programas.insert(p[0]);
         p += (orden == 0xC0 || orden == 0xD0) ? 1 : 2;
      }
      fin = std::max(fin, tick);
   }
   long desde = 0, tempo = 500000;
   for (auto &c : tempos) {
      long hasta = std::min(c.first, fin);
      t.segundos += (hasta - desde) * (tempo / 1e6) / m->divisions;
      desde = hasta;
      tempo = c.second;
   }
   t.segundos += (fin - desde) * (tempo / 1e6) / m->divisions;
   return t;
}

TEST_F(datos_dat, musica_larga_con_melodia_y_acompanamiento)
{
   tema t = leer_tema((MIDI *)datos[MUSICA].dat);
   EXPECT_GE(t.segundos, 20.0);
   EXPECT_LE(t.segundos, 120.0);
   EXPECT_GE(t.notas, 200);
   EXPECT_GE(t.programas.size(), 2u);
}

// Every instrument the tune picks is in patches.dat, or it would play silent.
TEST_F(datos_dat, patches_con_los_instrumentos_del_tema)
{
   EXPECT_GT(file_size_ex(SALIDA "/patches.dat"), 100000);
   DATAFILE *p = load_datafile(SALIDA "/patches.dat");
   ASSERT_NE(p, nullptr);
   DATAFILE *cfg = find_datafile_object(p, "default_cfg");
   ASSERT_NE(cfg, nullptr);
   std::string texto((const char *)cfg->dat, cfg->size);
   std::map<int, std::string> nombres;  // 1-based program -> patch name
   size_t i = 0;
   while (i < texto.size()) {
      size_t j = texto.find('\n', i);
      std::string linea = texto.substr(i, j == std::string::npos ? std::string::npos : j - i);
      i = j == std::string::npos ? texto.size() : j + 1;
      if (linea.find("begin_multipatch") != std::string::npos)
         break;
      int n;
      char nombre[256];
      if (std::sscanf(linea.c_str(), "%d %255s", &n, nombre) == 2)
         nombres[n] = nombre;
   }
   for (int prog : leer_tema((MIDI *)datos[MUSICA].dat).programas) {
      SCOPED_TRACE(prog);
      ASSERT_EQ(nombres.count(prog + 1), 1u);
      DATAFILE *pat = find_datafile_object(p, nombres[prog + 1].c_str());
      ASSERT_NE(pat, nullptr);
      EXPECT_EQ(pat->type, DAT_ID('P', 'A', 'T', ' '));
   }
   unload_datafile(p);
}

TEST(allegro_cfg, musica_por_el_reproductor_de_muestras_y_una_ventana)
{
   install_allegro(SYSTEM_NONE, &errno, atexit);
   ASSERT_TRUE(exists(SALIDA "/allegro.cfg"));
   push_config_state();
   set_config_file(SALIDA "/allegro.cfg");
   EXPECT_EQ(get_config_id("sound", "midi_card", 0), MIDI_DIGMID);
   EXPECT_EQ(get_config_int("pantalla", "completa", -1), 0);
   pop_config_state();
}
