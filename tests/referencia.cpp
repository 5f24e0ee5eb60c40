// Draws what the game must show, from the same datafile, into a memory
// bitmap, and writes it to stdout as a PPM picture in the colours the X
// server shows. The end-to-end tests compare the real screen with it.
//
//   referencia DATOS titulo
//   referencia DATOS carrera X Y IMAGEN VUELTAS RELOJ
//        race screen; IMAGEN -1 draws no car, VUELTAS -1 draws no texts,
//        RELOJ is the clock text exactly as it must appear
//   referencia DATOS resultado VUELTAS
//   referencia DATOS creditos 1|2|3
//   referencia DATOS coche IMAGEN
//        the car image alone; its see-through pixels come out as 1,2,3,
//        a colour no palette entry gives
//   referencia DATOS muestra
//        the step sound: a line "HZ N", then N signed 16-bit little-endian
//        mono values
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datos.h"

// 6-bit palette values as the X server shows them (checked on screen: the
// top two bits repeat below, so 17 shows as 69, not 68).
static int ocho(int v)
{
   return (v << 2) | (v >> 4);
}

static void escribir(BITMAP *b, const PALETTE pal)
{
   std::printf("P6\n%d %d\n255\n", b->w, b->h);
   for (int y = 0; y < b->h; y++)
      for (int x = 0; x < b->w; x++) {
         const RGB &c = pal[getpixel(b, x, y)];
         std::putchar(ocho(c.r));
         std::putchar(ocho(c.g));
         std::putchar(ocho(c.b));
      }
}

static void linea(BITMAP *b, int y, const char *t)
{
   textprintf_ex(b, font, 0, y, 255, 0, "%s", t);
}

// The credit pages, line by line as the game writes them.
struct renglon {
   int pagina, y;
   const char *texto;
};

static const renglon creditos[] = {
   {1, 26, "Ardemol:"},
   {1, 52, " -Logica del juego"},
   {1, 78, " -Bitmap rotados"},
   {1, 104, " -Datafile"},
   {1, 130, " -Optimizacion"},
   {1, 156, " -Cuentavueltas"},
   {1, 182, " -Sonido"},
   {1, 208, " -Fondo"},
   {1, 234, " -Correccion de bugs"},
   {2, 26, "Brisvane:"},
   {2, 52, " -Averiguacion sobre bitmaps"},
   {2, 78, " -Descubrimiento del curso de allegro"},
   {2, 104, " -Prototipo del velk sobre una pantalla negra"},
   {2, 129, "      ~"},
   {2, 130, " -Diseno original de la pista"},
   {2, 156, " -Color transparente/Paletas"},
   {3, 26, "Gracias a:"},
   {3, 52, " -Colvarin y el equipo de desarrolo de Allegro por desarrollar esta magnifica libreria"},
   {3, 78, " -Todos aquellos que quieran colaborar mejorando"},
   {3, 91, "  el juego o transportandolo a otra plataforma o ayudando como sea"},
   {3, 117, "Gracias"},
   {3, 130, "Chau"},
};

static int uso()
{
   std::fprintf(stderr, "uso: referencia DATOS titulo|carrera X Y IMAGEN VUELTAS RELOJ|"
                        "resultado N|creditos K|coche IMAGEN|muestra\n");
   return 2;
}

int main(int argc, char *argv[])
{
   if (argc < 3)
      return uso();
   if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
      return 1;
   set_color_depth(8);
   DATAFILE *datos = load_datafile(argv[1]);
   if (!datos) {
      std::fprintf(stderr, "referencia: no se pudo cargar %s\n", argv[1]);
      return 1;
   }
   const char *que = argv[2];
   PALETTE pal;
   std::memcpy(pal, default_palette, sizeof pal);
   BITMAP *b = create_bitmap(800, 600);
   clear_bitmap(b);

   if (!std::strcmp(que, "titulo")) {
      blit((BITMAP *)datos[TITULO].dat, b, 0, 0, 1, 1, 800, 600);
   } else if (!std::strcmp(que, "carrera") && argc == 8) {
      int x = std::atoi(argv[3]), y = std::atoi(argv[4]), imagen = std::atoi(argv[5]);
      int vueltas = std::atoi(argv[6]);
      pal[0].r = 0;
      pal[0].g = 63;
      pal[0].b = 0;
      blit((BITMAP *)datos[PISTA].dat, b, 0, 0, 163, 90, 513, 498);
      if (imagen >= 0)
         draw_rle_sprite(b, (RLE_SPRITE *)datos[imagen].dat, x, y);
      if (vueltas >= 0) {
         textprintf_ex(b, font, 1, 1, 255, 9, "Vueltas:%i", vueltas);
         textprintf_ex(b, font, 722, 1, 255, 9, "%s", argv[7]);
      }
   } else if (!std::strcmp(que, "resultado") && argc == 4) {
      textprintf_ex(b, font, 400, 300, 255, 0, "Vueltas:%i", std::atoi(argv[3]));
   } else if (!std::strcmp(que, "creditos") && argc == 4) {
      for (const renglon &r : creditos)
         if (r.pagina == std::atoi(argv[3]))
            linea(b, r.y, r.texto);
   } else if (!std::strcmp(que, "coche") && argc == 4) {
      RLE_SPRITE *s = (RLE_SPRITE *)datos[std::atoi(argv[3])].dat;
      BITMAP *c0 = create_bitmap(s->w, s->h), *c1 = create_bitmap(s->w, s->h);
      clear_to_color(c0, 0);
      clear_to_color(c1, 1);
      draw_rle_sprite(c0, s, 0, 0);
      draw_rle_sprite(c1, s, 0, 0);
      std::printf("P6\n%d %d\n255\n", s->w, s->h);
      for (int y = 0; y < s->h; y++)
         for (int x = 0; x < s->w; x++) {
            // Where the background shows through, the two copies differ.
            int v = getpixel(c0, x, y);
            bool claro = v != getpixel(c1, x, y);
            const RGB &c = pal[v];
            std::putchar(claro ? 1 : ocho(c.r));
            std::putchar(claro ? 2 : ocho(c.g));
            std::putchar(claro ? 3 : ocho(c.b));
         }
      return 0;
   } else if (!std::strcmp(que, "muestra")) {
      // Allegro keeps samples unsigned, 8 or 16 bits.
      SAMPLE *m = (SAMPLE *)datos[MOTOR].dat;
      int canales = m->stereo ? 2 : 1;
      std::printf("%d %lu\n", m->freq, m->len);
      for (unsigned long i = 0; i < m->len; i++) {
         int v = m->bits == 8 ? (((unsigned char *)m->data)[i * canales] - 128) * 256
                              : ((unsigned short *)m->data)[i * canales] - 32768;
         std::putchar(v & 0xff);
         std::putchar((v >> 8) & 0xff);
      }
      return 0;
   } else {
      return uso();
   }
   escribir(b, pal);
   return 0;
}
END_OF_MAIN()
