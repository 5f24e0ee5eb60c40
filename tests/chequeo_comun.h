// What the datafile check tests share: a datos.dat built with Allegro's dat
// from small images, a sound and a tune made here, and ways to take it apart
// into entries and put damaged versions back together.
#pragma once
#include <allegro.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

typedef std::vector<unsigned char> bytes;

static inline int iniciar_allegro()
{
   static int hecho = install_allegro(SYSTEM_NONE, &errno, atexit);
   return hecho;
}

static inline bool orden(const std::string &o)
{
   return std::system((o + " >/dev/null 2>&1").c_str()) == 0;
}

// The test program's own folder, made on first use; it goes when the program
// ends, also after a failed test.
static inline std::string carpeta()
{
   static std::string dir;
   if (dir.empty()) {
      const char *tmp = std::getenv("TMPDIR");
      std::string plantilla = std::string(tmp && *tmp ? tmp : "/tmp") + "/chequeo.XXXXXX";
      dir = mkdtemp(&plantilla[0]);
      std::atexit([] { orden("rm -rf '" + dir + "'"); });
   }
   return dir;
}

static inline bytes leer(const std::string &ruta)
{
   std::ifstream f(ruta, std::ios::binary);
   return bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

static inline void escribir(const std::string &ruta, const bytes &b)
{
   std::ofstream f(ruta, std::ios::binary | std::ios::trunc);
   f.write((const char *)b.data(), b.size());
}

static inline void poner16le(bytes &b, unsigned v) { b.push_back(v & 255); b.push_back(v >> 8); }
static inline void poner32le(bytes &b, uint32_t v) { poner16le(b, v & 0xffff); poner16le(b, v >> 16); }
static inline void poner16(bytes &b, unsigned v) { b.push_back((v >> 8) & 255); b.push_back(v & 255); }
static inline void poner32(bytes &b, uint32_t v) { poner16(b, v >> 16); poner16(b, v & 0xffff); }

static inline uint32_t mirar32(const bytes &b, size_t en)
{
   return (uint32_t)b[en] << 24 | b[en + 1] << 16 | b[en + 2] << 8 | b[en + 3];
}

static inline void cambiar32(bytes &b, size_t en, uint32_t v)
{
   b[en] = v >> 24; b[en + 1] = v >> 16; b[en + 2] = v >> 8; b[en + 3] = v;
}

// An 8-bit BMP: a frame of colour 1 on colour 0, so the RLE has runs and skips.
static inline void escribir_bmp(const std::string &ruta, int w, int h)
{
   int fila = (w + 3) & ~3;
   bytes b = {'B', 'M'};
   poner32le(b, 54 + 1024 + fila * h);
   poner32le(b, 0);
   poner32le(b, 54 + 1024);
   poner32le(b, 40);
   poner32le(b, w);
   poner32le(b, h);
   poner16le(b, 1);
   poner16le(b, 8);
   for (int i = 0; i < 6; i++)
      poner32le(b, i == 4 ? 256 : 0);
   for (int i = 0; i < 256; i++)
      poner32le(b, (uint32_t)(i * 0x010101));
   for (int y = 0; y < h; y++)
      for (int x = 0; x < fila; x++)
         b.push_back(x < w && (x == w / 4 || y == h / 3 || x == w - 1) ? 1 + (x + y) % 200 : 0);
   escribir(ruta, b);
}

static inline void escribir_wav(const std::string &ruta, int muestras)
{
   bytes b = {'R', 'I', 'F', 'F'};
   poner32le(b, 36 + muestras);
   for (char c : std::string("WAVEfmt "))
      b.push_back(c);
   poner32le(b, 16);
   poner16le(b, 1);
   poner16le(b, 1);
   poner32le(b, 11025);
   poner32le(b, 11025);
   poner16le(b, 1);
   poner16le(b, 8);
   for (char c : std::string("data"))
      b.push_back(c);
   poner32le(b, muestras);
   for (int i = 0; i < muestras; i++)
      b.push_back(128 + (i % 20 < 10 ? 40 : -40));
   escribir(ruta, b);
}

static inline void escribir_mid(const std::string &ruta)
{
   bytes pista = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0x90, 64, 100,
                  0x60, 0x80, 64, 0, 0x00, 0xff, 0x2f, 0x00};
   bytes b = {'M', 'T', 'h', 'd'};
   poner32(b, 6);
   poner16(b, 0);
   poner16(b, 1);
   poner16(b, 96);
   for (char c : std::string("MTrk"))
      b.push_back(c);
   poner32(b, pista.size());
   b.insert(b.end(), pista.begin(), pista.end());
   escribir(ruta, b);
}

// A good unpacked datos.dat of our own, built once per test program; dat
// sorts by name, so the names follow the game's indices.
static inline std::string datos_propios()
{
   static std::string ruta;
   if (!ruta.empty())
      return ruta;
   std::string d = carpeta() + "/fuentes";
   orden("mkdir -p " + d);
   escribir_mid(d + "/a_musica.mid");
   escribir_bmp(d + "/b_abajo.bmp", 40, 60);
   escribir_bmp(d + "/c_izquierda.bmp", 60, 40);
   escribir_bmp(d + "/d_derecha.bmp", 60, 40);
   escribir_bmp(d + "/e_arriba.bmp", 40, 60);
   escribir_wav(d + "/f_motor.wav", 800);
   escribir_bmp(d + "/g_pista.bmp", 513, 498);
   escribir_bmp(d + "/h_titulo.bmp", 800, 600);
   std::string dat = carpeta() + "/propio.dat";
   std::string c = "cd " + d + " && dat -bpp 8 " + dat;
   if (orden("rm -f " + dat) && orden(c + " -a a_musica.mid f_motor.wav") &&
       orden(c + " -a b_abajo.bmp c_izquierda.bmp d_derecha.bmp e_arriba.bmp -t RLE") &&
       orden(c + " -a g_pista.bmp h_titulo.bmp -t BMP"))
      ruta = dat;
   return ruta;
}

// The real one once the asset build has made it, else ours.
static inline std::string datos_buenos()
{
#ifdef CARRERA_DATOS
   if (access(CARRERA_DATOS, R_OK) == 0)
      return CARRERA_DATOS;
#endif
   return datos_propios();
}

// A copy of a datafile in dat's -c1 or -c2 form.
static inline std::string comprimido(const std::string &ruta, const char *modo)
{
   std::string otra = carpeta() + "/comprimido" + modo + ".dat";
   // -n0: dat would otherwise sort the entries by name on saving.
   orden("cp " + ruta + " " + otra + " && dat -n0 " + otra + " " + modo);
   return otra;
}

// An unpacked datafile split into its entries, each with its properties.
struct troceado {
   bytes cabeza;                // "slh.ALL." and the count
   std::vector<bytes> entradas;
   std::vector<size_t> tipo_en; // where, inside each entry, its type starts
};

static inline troceado trocear(const bytes &b)
{
   troceado t;
   t.cabeza.assign(b.begin(), b.begin() + 12);
   size_t p = 12;
   for (uint32_t i = 0; i < mirar32(b, 8); i++) {
      size_t inicio = p;
      while (mirar32(b, p) == (uint32_t)DAT_PROPERTY)
         p += 12 + mirar32(b, p + 8);
      t.tipo_en.push_back(p - inicio);
      p += 12 + mirar32(b, p + 4);
      t.entradas.push_back(bytes(b.begin() + inicio, b.begin() + p));
   }
   return t;
}

// Every offset that a field of the datafile starts at: count, each property's
// size, each type and chunk size, and the first payload fields.
static inline std::vector<size_t> campos(const bytes &b)
{
   std::vector<size_t> c = {4, 8};
   size_t p = 12;
   for (uint32_t i = 0; i < mirar32(b, 8) && p + 12 <= b.size(); i++) {
      while (p + 12 <= b.size() && mirar32(b, p) == (uint32_t)DAT_PROPERTY) {
         c.push_back(p + 8);
         p += 12 + mirar32(b, p + 8);
      }
      for (size_t k = 0; k < 24; k += 2)
         c.push_back(p + k);
      p += 12 + mirar32(b, p + 4);
   }
   return c;
}

static inline bytes montar(const std::vector<bytes> &entradas)
{
   bytes b = {'s', 'l', 'h', '.', 'A', 'L', 'L', '.'};
   poner32(b, entradas.size());
   for (const bytes &e : entradas)
      b.insert(b.end(), e.begin(), e.end());
   return b;
}

// An entry without properties.
static inline bytes objeto(const char *tipo, const bytes &contenido)
{
   bytes b(tipo, tipo + 4);
   poner32(b, contenido.size());
   poner32(b, contenido.size());
   b.insert(b.end(), contenido.begin(), contenido.end());
   return b;
}

static inline bytes bitmap(int bits, int w, int h, size_t pixeles)
{
   bytes b;
   poner16(b, bits & 0xffff);
   poner16(b, w);
   poner16(b, h);
   b.resize(b.size() + pixeles, 7);
   return b;
}

// Uses a loaded datafile as the game does: draws the cars half off a small
// window inside a bigger bitmap, blits the track and title, reads the whole
// sound. False when a sprite drew outside its window.
static inline bool usar_datos(DATAFILE *d)
{
   BITMAP *todo = create_bitmap(900, 700);
   BITMAP *ventana = create_sub_bitmap(todo, 200, 200, 400, 200);
   clear_to_color(todo, 255);
   clear_to_color(ventana, 0);
   const int xs[] = {-60, 0, 150, 380};
   for (int i = 1; i <= 4; i++)
      for (int x : xs)
         draw_rle_sprite(ventana, (RLE_SPRITE *)d[i].dat, x, x / 3 - 20);
   bool bien = true;
   for (int y = 0; y < todo->h; y++)
      for (int x = 0; x < todo->w; x++)
         if ((x < 200 || x >= 600 || y < 200 || y >= 400) && getpixel(todo, x, y) != 255)
            bien = false;
   blit((BITMAP *)d[6].dat, todo, 0, 0, 0, 0, 513, 498);
   blit((BITMAP *)d[7].dat, todo, 0, 0, 0, 0, 800, 600);
   SAMPLE *s = (SAMPLE *)d[5].dat;
   volatile unsigned suma = 0;
   for (unsigned long k = 0; k < s->len; k++)
      suma += ((unsigned char *)s->data)[k];
   (void)suma;
   destroy_bitmap(ventana);
   destroy_bitmap(todo);
   return bien;
}
