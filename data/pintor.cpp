// Paints the game's pictures with Allegro's own drawing functions and saves
// them as PCX files in the folder given, for dat to grab into datos.dat.
// Everything is in Allegro's default palette, since the game never sets one.
// Colour 0 plays three parts: the cars' see-through colour, black on the
// title and, during the race, the green of the grass around the track.
#include <allegro.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pintor.h"

static std::string carpeta;

// Nearest colour of the default palette, for 0-255 components. Allegro's
// bestfit never answers 0, so a colour asked for never turns into grass.
static int color(int r, int g, int b)
{
   return bestfit_color(default_palette, r / 4, g / 4, b / 4);
}

static int guardar(BITMAP *b, const char *nombre)
{
   std::string ruta = carpeta + "/" + nombre;
   if (save_bitmap(ruta.c_str(), b, default_palette) != 0) {
      std::fprintf(stderr, "pintor: no se pudo guardar %s\n", ruta.c_str());
      return 1;
   }
   return 0;
}

// ---------------------------------------------------------------- the car

// The car facing up, front at the top: the master the other three turn from.
static BITMAP *pintar_coche()
{
   BITMAP *b = create_bitmap(ancho_coche, alto_coche);
   int rojo = color(252, 0, 0), oscuro = color(168, 0, 0);
   int negro = color(0, 0, 0), gris = color(100, 100, 100);
   int cristal = color(80, 160, 252), blanco = color(255, 255, 255);
   int amarillo = color(252, 252, 84);
   clear_to_color(b, 0);

   // Wheels stick out a pixel beyond the body on each side.
   rectfill(b, 0, 5, 3, 13, negro);
   rectfill(b, 20, 5, 23, 13, negro);
   rectfill(b, 0, 27, 3, 35, negro);
   rectfill(b, 20, 27, 23, 35, negro);
   for (int y = 6; y <= 12; y += 2) {
      putpixel(b, 1, y, gris);
      putpixel(b, 22, y, gris);
      putpixel(b, 1, y + 22, gris);
      putpixel(b, 22, y + 22, gris);
   }

   // Body: a nose narrower than the middle, a rounded tail.
   int cuerpo[] = {6, 0, 17, 0, 20, 4, 20, 36, 18, 39, 5, 39, 3, 36, 3, 4};
   polygon(b, 8, cuerpo, rojo);
   line(b, 3, 4, 3, 36, oscuro);
   line(b, 20, 4, 20, 36, oscuro);

   // Windscreen, roof and rear window.
   int parabrisas[] = {6, 12, 17, 12, 19, 17, 4, 17};
   polygon(b, 4, parabrisas, cristal);
   rectfill(b, 5, 18, 18, 27, oscuro);
   rectfill(b, 5, 28, 18, 30, cristal);

   // Racing stripes over bonnet, roof and boot.
   rectfill(b, 10, 0, 10, 11, blanco);
   rectfill(b, 13, 0, 13, 11, blanco);
   rectfill(b, 10, 18, 10, 27, blanco);
   rectfill(b, 13, 18, 13, 27, blanco);
   rectfill(b, 10, 31, 10, 39, blanco);
   rectfill(b, 13, 31, 13, 39, blanco);

   // Headlights at the front corners, a black spoiler with tail lights.
   rectfill(b, 6, 0, 8, 1, amarillo);
   rectfill(b, 15, 0, 17, 1, amarillo);
   rectfill(b, 3, 37, 20, 38, negro);
   putpixel(b, 4, 37, color(255, 84, 84));
   putpixel(b, 19, 37, color(255, 84, 84));
   return b;
}

// The master turned by quarter turns clockwise (1 right, 2 down, 3 left),
// pixel by pixel so that no pixel is lost or blurred.
static BITMAP *girar(BITMAP *coche, int cuartos)
{
   int w = coche->w, h = coche->h;
   BITMAP *b = cuartos % 2 ? create_bitmap(h, w) : create_bitmap(w, h);
   for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
         int c = getpixel(coche, x, y);
         if (cuartos == 1)
            putpixel(b, h - 1 - y, x, c);
         else if (cuartos == 2)
            putpixel(b, w - 1 - x, h - 1 - y, c);
         else if (cuartos == 3)
            putpixel(b, y, w - 1 - x, c);
         else
            putpixel(b, x, y, c);
      }
   return b;
}

// ---------------------------------------------------------------- the track

static bool en_redondo(int x, int y, int x1, int y1, int x2, int y2, int r)
{
   if (x < x1 || x > x2 || y < y1 || y > y2)
      return false;
   int cx = x < x1 + r ? x1 + r : (x > x2 - r ? x2 - r : x);
   int cy = y < y1 + r ? y1 + r : (y > y2 - r ? y2 - r : y);
   return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

static void redondo(BITMAP *b, int x1, int y1, int x2, int y2, int r, int c)
{
   for (int y = y1; y <= y2; y++)
      for (int x = x1; x <= x2; x++)
         if (en_redondo(x, y, x1, y1, x2, y2, r))
            putpixel(b, x, y, c);
}

// A tree seen from above: dark crown, lighter top, a shadow to the right.
static void arbol(BITMAP *b, int x, int y, int r)
{
   circlefill(b, x + 2, y + 2, r, color(0, 60, 0));
   circlefill(b, x, y, r, color(0, 112, 0));
   circlefill(b, x - r / 3, y - r / 3, r / 2, color(0, 168, 0));
}

// A chequered stripe of 4-pixel squares.
static void cuadros(BITMAP *b, int x1, int y1, int x2, int y2, int c1, int c2)
{
   for (int y = y1; y <= y2; y++)
      for (int x = x1; x <= x2; x++)
         putpixel(b, x, y, (((x - x1) / 4 + (y - y1) / 4) % 2) ? c2 : c1);
}

static BITMAP *pintar_pista()
{
   BITMAP *b = create_bitmap(ancho_pista, alto_pista);
   int asfalto = color(80, 80, 80), grano = color(68, 68, 68);
   int blanco = color(255, 255, 255), rojo = color(252, 0, 0);
   int negro = color(0, 0, 0), raya = color(180, 180, 180);

   // Grass is colour 0, the race's green.
   clear_to_color(b, 0);

   // Asphalt over the whole outer rectangle, its far corners rounded; the
   // near corner stays square since the car drives right into it.
   redondo(b, 0, 0, pista_der, pista_abajo, 16, asfalto);
   rectfill(b, 0, 0, 40, 40, asfalto);
   // A little grain, so the road does not look like a flat sheet.
   unsigned semilla = 7;
   for (int i = 0; i < 2500; i++) {
      semilla = semilla * 1103515245 + 12345;
      int x = (semilla >> 8) % (pista_der + 1);
      int y = (semilla >> 18) % (pista_abajo + 1);
      if (getpixel(b, x, y) == asfalto)
         putpixel(b, x, y, grano);
   }

   // White edge lines along the outside.
   rectfill(b, 3, 3, 4, pista_abajo - 8, blanco);
   rectfill(b, 3, 3, pista_der - 8, 4, blanco);
   rectfill(b, pista_der - 4, 16, pista_der - 3, pista_abajo - 16, blanco);
   rectfill(b, 16, pista_abajo - 4, pista_der - 16, pista_abajo - 3, blanco);

   // The infield with a red and white kerb all round it.
   int ix1 = banda, iy1 = banda, ix2 = pista_der - banda, iy2 = pista_abajo - banda;
   for (int y = iy1; y <= iy2; y++)
      for (int x = ix1; x <= ix2; x++) {
         if (!en_redondo(x, y, ix1, iy1, ix2, iy2, 30))
            continue;
         bool dentro = en_redondo(x, y, ix1 + 6, iy1 + 6, ix2 - 6, iy2 - 6, 24);
         putpixel(b, x, y, dentro ? 0 : (((x + y) / 8) % 2 ? rojo : blanco));
      }

   // Dashed centre line along the four straights.
   int mx1 = banda / 2, my1 = banda / 2;
   int mx2 = pista_der - banda / 2, my2 = pista_abajo - banda / 2;
   for (int v = 50; v + 12 < iy2 - 20; v += 24) {
      rectfill(b, mx1, v, mx1 + 1, v + 11, raya);
      rectfill(b, mx2 - 1, v, mx2, v + 11, raya);
   }
   for (int v = 50; v + 12 < ix2 - 20; v += 24) {
      rectfill(b, v, my1, v + 11, my1 + 1, raya);
      rectfill(b, v, my2 - 1, v + 11, my2, raya);
   }

   // Checkpoints, where the car's corner crosses the counting lines: red and
   // white across the sides and the top, black and white for the finish.
   cuadros(b, 0, marca_arriba - 3, banda - 1, marca_arriba + 4, rojo, blanco);
   cuadros(b, ix2 + 1, marca_arriba - 3, pista_der, marca_arriba + 4, rojo, blanco);
   cuadros(b, ix2 + 1, marca_abajo - 3, pista_der, marca_abajo + 4, rojo, blanco);
   cuadros(b, marca_derecha - 3, 0, marca_derecha + 4, banda - 1, rojo, blanco);
   cuadros(b, marca_meta - 5, iy2 + 1, marca_meta + 6, pista_abajo, negro, blanco);
   // The finish line's lettering, painted on the road beside the line.
   BITMAP *t = create_bitmap(8 * 4, 8);
   clear_to_color(t, 0);
   textout_ex(t, font, "META", 0, 0, blanco, -1);
   masked_stretch_blit(t, b, 0, 0, 32, 8, marca_meta + 12, iy2 + 12, 64, 16);
   destroy_bitmap(t);

   // Infield: a pond, trees, and a pit building.
   ellipsefill(b, 200, 240, 58, 34, color(0, 0, 168));
   ellipsefill(b, 194, 234, 40, 20, color(84, 84, 252));
   rectfill(b, 112, 110, 288, 140, color(168, 168, 168));
   rectfill(b, 112, 110, 288, 114, color(252, 84, 84));
   for (int x = 118; x < 284; x += 22)
      rectfill(b, x, 120, x + 14, 140, color(40, 40, 40));
   int arboles[][3] = {{110, 180, 12}, {132, 200, 9}, {290, 180, 13}, {270, 310, 11},
                       {120, 320, 14}, {150, 340, 9}, {300, 340, 10}, {200, 330, 12}};
   for (auto &a : arboles)
      arbol(b, a[0], a[1], a[2]);

   // Beyond the outer edge: a grandstand under a striped awning, its steps
   // full of people, some seats empty.
   int gx1 = pista_der + 14, gx2 = ancho_pista - 12;
   int gente[] = {color(252, 84, 84), color(252, 252, 84), color(84, 84, 252),
                  color(255, 255, 255), color(252, 168, 84), color(84, 252, 84)};
   rectfill(b, gx1, 40, gx2, 420, color(140, 140, 140));
   for (int y = 52; y < 412; y += 7) {
      hline(b, gx1 + 2, y + 5, gx2 - 2, color(90, 90, 90));
      for (int x = gx1 + 4; x < gx2 - 4; x += 5) {
         semilla = semilla * 1103515245 + 12345;
         int r = (semilla >> 16) % 9;
         if (r < 6)
            rectfill(b, x, y + 1, x + 2, y + 3, gente[r]);
      }
   }
   for (int y = 40; y < 420; y += 8)
      rectfill(b, gx2 - 6, y, gx2, y + 3, rojo);
   rect(b, gx1, 40, gx2, 420, color(40, 40, 40));
   for (int x = 30; x < pista_der; x += 48)
      arbol(b, x, alto_pista - 16, 10);
   arbol(b, ancho_pista - 40, alto_pista - 30, 14);
   arbol(b, ancho_pista - 60, 20, 12);
   return b;
}

// ---------------------------------------------------------------- the title

// Text in the 8x8 font, enlarged by a whole factor, with a shadow; the
// colour of each row comes from a top-to-bottom blend.
static void rotulo(BITMAP *b, const char *s, int x, int y, int k, int sombra,
                   const int *tonos, int n)
{
   int w = text_length(font, s), h = text_height(font);
   BITMAP *t = create_bitmap(w, h);
   clear_to_color(t, 0);
   textout_ex(t, font, s, 0, 0, 255, -1);
   for (int ty = 0; ty < h * k; ty++)
      for (int tx = 0; tx < w * k; tx++)
         if (getpixel(t, tx / k, ty / k))
            putpixel(b, x + tx + sombra, y + ty + sombra, color(0, 0, 0));
   for (int ty = 0; ty < h * k; ty++)
      for (int tx = 0; tx < w * k; tx++)
         if (getpixel(t, tx / k, ty / k))
            putpixel(b, x + tx, y + ty, tonos[ty * n / (h * k)]);
   destroy_bitmap(t);
}

// A colour blend dithered with a 4x4 pattern, so that the few colours of
// the default palette still give a smooth sky.
static int mezcla(int x, int y, int r1, int g1, int b1, int r2, int g2, int b2, int t, int n)
{
   static const int patron[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
   int d = (patron[y % 4][x % 4] - 8) * 3;
   int r = r1 + (r2 - r1) * t / n + d, g = g1 + (g2 - g1) * t / n + d, b = b1 + (b2 - b1) * t / n + d;
   r = r < 0 ? 0 : (r > 255 ? 255 : r);
   g = g < 0 ? 0 : (g > 255 ? 255 : g);
   b = b < 0 ? 0 : (b > 255 ? 255 : b);
   return color(r, g, b);
}

static BITMAP *pintar_titulo(BITMAP *coche)
{
   BITMAP *b = create_bitmap(ancho_titulo, alto_titulo);
   const int horizonte = 300;
   clear_to_color(b, 0);

   // Evening sky down to the horizon, a setting sun, dark hills.
   for (int y = 0; y < horizonte; y++)
      for (int x = 0; x < ancho_titulo; x++)
         putpixel(b, x, y, mezcla(x, y, 8, 8, 60, 252, 140, 60, y, horizonte));
   circlefill(b, 400, horizonte, 90, color(252, 200, 60));
   circlefill(b, 400, horizonte, 70, color(252, 252, 84));
   int colinas[] = {0, horizonte, 0, 250, 90, 225, 200, 262, 300, 240, 420, 275,
                    540, 230, 650, 255, 740, 220, 799, 245, 799, horizonte};
   polygon(b, 11, colinas, color(40, 20, 60));

   // Grass, in two greens by rows, like a mown field.
   for (int y = horizonte; y < alto_titulo; y++)
      hline(b, 0, y, ancho_titulo - 1, (int)(10.0 * std::log2(1.0 + (y - horizonte) / 4.0)) % 2
                                           ? color(0, 112, 0) : color(0, 140, 0));

   // The road runs to the horizon: asphalt, kerbs and centre dashes that
   // shrink with distance.
   int camino[] = {385, horizonte, 415, horizonte, 760, alto_titulo - 1, 40, alto_titulo - 1};
   polygon(b, 4, camino, color(80, 80, 80));
   for (int y = horizonte; y < alto_titulo; y++) {
      int t = y - horizonte, n = alto_titulo - 1 - horizonte;
      int izq = 385 - (385 - 40) * t / n, der = 415 + (760 - 415) * t / n;
      int ancho = 1 + 30 * t / n;
      // Kerb blocks: ten per doubling of distance, alternating red and white.
      int tramo = (int)(40.0 * std::log2(1.0 + t / 4.0));
      int kerb = tramo % 2 ? color(252, 0, 0) : color(255, 255, 255);
      hline(b, izq - ancho, y, izq, kerb);
      hline(b, der, y, der + ancho, kerb);
      if ((int)(12.0 * std::log2(1.0 + t / 4.0)) % 2)
         hline(b, 400 - ancho / 4, y, 400 + ancho / 4, color(255, 255, 255));
   }

   // The car, big, coming up the road towards the player.
   masked_stretch_blit(coche, b, 0, 0, coche->w, coche->h, 400 - coche->w * 2,
                       alto_titulo - 76 - coche->h * 4, coche->w * 4, coche->h * 4);

   // Name, flags, and what to do.
   int fuego[] = {color(252, 252, 84), color(252, 220, 60), color(252, 168, 0),
                  color(252, 120, 0), color(252, 60, 0), color(200, 0, 0)};
   rotulo(b, "Carrera", 400 - 7 * 8 * 10 / 2, 40, 10, 8, fuego, 6);
   cuadros(b, 120, 140, 679, 155, color(0, 0, 0), color(255, 255, 255));
   int blancos[] = {color(255, 255, 255)};
   redondo(b, 190, alto_titulo - 60, 610, alto_titulo - 14, 10, color(0, 0, 0));
   rotulo(b, "Pulsa una tecla", 400 - 15 * 8 * 3 / 2, alto_titulo - 48, 3, 3, blancos, 1);
   return b;
}

int main(int argc, char *argv[])
{
   if (argc != 2) {
      std::fprintf(stderr, "uso: pintor carpeta\n");
      return 2;
   }
   carpeta = argv[1];
   if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
      return 1;
   set_color_depth(8);

   BITMAP *coche = pintar_coche();
   BITMAP *pista = pintar_pista(), *titulo = pintar_titulo(coche);
   int mal = guardar(coche, "coche_arriba.pcx") + guardar(girar(coche, 1), "coche_derecha.pcx") +
             guardar(girar(coche, 2), "coche_abajo.pcx") +
             guardar(girar(coche, 3), "coche_izquierda.pcx") +
             guardar(pista, "pista.pcx") + guardar(titulo, "titulo.pcx");
   return mal ? 1 : 0;
}
