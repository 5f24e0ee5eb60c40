// The datafile check. Allegro's loader trusts every count and size in the
// file, so a damaged datos.dat can crash it or make it ask for gigabytes.
// chequeo_fichero reads the whole (unpacked) stream and walks it the way the
// loader will, with bounds checks; chequeo_datos looks at what was loaded.
#include "chequeo.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "datos.h"

// The real datos.dat is about 1 MiB; anything far bigger is not ours.
static const long tope = 64L * 1024 * 1024;
static const int hacen_falta = 8;

static char mensaje[256];

static const char *decir(const char *nombre, const char *formato, ...)
{
   int n = std::snprintf(mensaje, sizeof mensaje, "%s: ", nombre);
   if (n < 0 || n >= (int)sizeof mensaje)
      n = 0;
   va_list va;
   va_start(va, formato);
   std::vsnprintf(mensaje + n, sizeof mensaje - n, formato, va);
   va_end(va);
   return mensaje;
}

// What the game's rules need to know of one entry, whether it comes from the
// file's headers or from the loaded object.
struct entrada {
   long tipo;
   int bits;
   int ancho, alto;
   long largo;  // sample length
};

static const char *const nombres[hacen_falta] = {
   "musica", "coche abajo", "coche izquierda", "coche derecha",
   "coche arriba", "motor", "pista", "titulo"};

static const char *nombre_entrada(int i)
{
   return i < hacen_falta ? nombres[i] : "sobrante";
}

static const char *nombre_tipo(long tipo)
{
   switch (tipo) {
   case DAT_MIDI: return "un MIDI";
   case DAT_RLE_SPRITE: return "un sprite RLE";
   case DAT_SAMPLE: return "un sample";
   case DAT_BITMAP: return "un bitmap";
   case DAT_PALETTE: return "una paleta";
   case DAT_FILE: return "un datafile anidado";
   case DAT_FONT: return "una fuente";
   default: return "de otro tipo";
   }
}

static long tipo_de(int i)
{
   if (i == MUSICA)
      return DAT_MIDI;
   if (i == MOTOR)
      return DAT_SAMPLE;
   if (i == PISTA || i == TITULO)
      return DAT_BITMAP;
   return DAT_RLE_SPRITE;
}

// The types, depths and sizes the game draws and plays (entries 0 to 7).
static const char *regla(const char *nombre, int i, const entrada &e)
{
   long quiero = tipo_de(i);
   if (e.tipo != quiero)
      return decir(nombre, "la entrada %d (%s) es %s, no %s", i, nombres[i],
                   nombre_tipo(e.tipo), nombre_tipo(quiero));
   if ((quiero == DAT_BITMAP || quiero == DAT_RLE_SPRITE) && e.bits != 8)
      return decir(nombre, "la entrada %d (%s) es de %d bits, hacen falta 8", i,
                   nombres[i], e.bits);
   if (quiero == DAT_RLE_SPRITE &&
       (e.ancho < 1 || e.ancho > 173 || e.alto < 1 || e.alto > 92))
      return decir(nombre, "el %s mide %dx%d, cabe como mucho en 173x92", nombres[i],
                   e.ancho, e.alto);
   if (i == PISTA && (e.ancho < 513 || e.alto < 498))
      return decir(nombre, "la pista mide %dx%d, hace falta al menos 513x498",
                   e.ancho, e.alto);
   if (i == TITULO && (e.ancho < 800 || e.alto < 600))
      return decir(nombre, "el titulo mide %dx%d, hace falta al menos 800x600",
                   e.ancho, e.alto);
   if (i == MOTOR && e.largo <= 0)
      return decir(nombre, "el sonido del motor esta vacio");
   return nullptr;
}

// --- Walking the unpacked stream -------------------------------------------

struct cinta {
   const unsigned char *p;
   long fin;  // one past the last byte this reader may use
   long pos;
};

static bool quedan(const cinta &c, long n)
{
   return n >= 0 && c.fin - c.pos >= n;
}

static long leer32(cinta &c)
{
   const unsigned char *b = c.p + c.pos;
   c.pos += 4;
   return (long)(int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 |
                          (uint32_t)b[2] << 8 | b[3]);
}

static int leer16(cinta &c)
{
   const unsigned char *b = c.p + c.pos;
   c.pos += 2;
   return b[0] << 8 | b[1];
}

// Signed, as the loader takes depths (-32 is true RGBA).
static int leer16s(cinta &c)
{
   return (int)(int16_t)leer16(c);
}

// Each payload reader gets a cinta bounded by the chunk and must use it up
// exactly; NULL when fine, else what is wrong (without the file name).

// A MIDI variable-length number: at most four bytes, the last below 0x80.
static bool leer_variable(cinta &c, long &n)
{
   n = 0;
   for (int k = 0; k < 4; k++) {
      if (!quedan(c, 1))
         return false;
      int b = c.p[c.pos++];
      n = n << 7 | (b & 0x7f);
      if (b < 0x80)
         return true;
   }
   return false;
}

// The music plays while the game runs, and the MIDI player takes each event
// as it comes: every event must fit in its track, and the track must end
// with its end-of-track event.
static bool pista_sana(cinta c)
{
   int estado = 0;
   while (quedan(c, 1)) {
      long n;
      if (!leer_variable(c, n) || !quedan(c, 1))
         return false;
      int b = c.p[c.pos];
      if (b >= 0x80) {
         c.pos++;
         estado = b;
      } else if (estado == 0 || estado >= 0xf0) {
         return false;  // running status with nothing to repeat
      }
      if (estado == 0xff) {
         if (!quedan(c, 1))
            return false;
         int meta = c.p[c.pos++];
         if (!leer_variable(c, n) || !quedan(c, n))
            return false;
         c.pos += n;
         if (meta == 0x2f)
            return true;
      } else if (estado == 0xf0 || estado == 0xf7) {
         if (!leer_variable(c, n) || !quedan(c, n))
            return false;
         c.pos += n;
      } else if (estado >= 0xf1) {
         return false;  // system messages have no place in a file
      } else {
         int datos = (estado & 0xf0) == 0xc0 || (estado & 0xf0) == 0xd0 ? 1 : 2;
         if (!quedan(c, datos))
            return false;
         for (int k = 0; k < datos; k++)
            if (c.p[c.pos++] >= 0x80)
               return false;
      }
   }
   return false;
}

static const char *leer_midi(cinta &c, entrada &)
{
   if (!quedan(c, 2))
      return "corta";
   leer16(c);
   for (int t = 0; t < 32; t++) {
      if (!quedan(c, 4))
         return "corta";
      long largo = leer32(c);
      if (!quedan(c, largo))
         return "tiene una pista MIDI que se sale";
      cinta pista = {c.p, c.pos + largo, c.pos};
      if (largo > 0 && !pista_sana(pista))
         return "tiene una pista MIDI mal formada";
      c.pos += largo;
   }
   return nullptr;
}

static const char *leer_muestra(cinta &c, entrada &e)
{
   if (!quedan(c, 8))
      return "corta";
   int bits = leer16s(c);
   int frecuencia = leer16(c);
   long largo = leer32(c);
   int canales = bits < 0 ? 2 : 1;
   if (bits < 0)
      bits = -bits;
   if (bits != 8 && bits != 16)
      return "tiene muestras de bits imposibles";
   if (frecuencia == 0 || largo <= 0)
      return "es un sample vacio o sin frecuencia";
   // Stay clear of overflow: the chunk already bounds the payload.
   if (largo > c.fin / (canales * (bits / 8)))
      return "dice tener mas muestras de las que trae";
   if (!quedan(c, largo * canales * (bits / 8)))
      return "dice tener mas muestras de las que trae";
   c.pos += largo * canales * (bits / 8);
   e.bits = bits;
   e.largo = largo;
   return nullptr;
}

// Depths other than 8 are laid out differently and the game never uses them.
static const char profundidad[] = "es de una profundidad que el juego no usa";

static const char *leer_dimensiones(cinta &c, entrada &e)
{
   e.bits = leer16s(c);
   e.ancho = leer16(c);
   e.alto = leer16(c);
   if (e.bits != 8)
      return nullptr;  // the caller reports depths the game cannot use
   if (e.ancho < 1 || e.ancho > 32767 || e.alto < 1 || e.alto > 32767)
      return "tiene medidas imposibles";
   return nullptr;
}

static const char *leer_bitmap(cinta &c, entrada &e)
{
   if (!quedan(c, 6))
      return "corta";
   const char *mal = leer_dimensiones(c, e);
   if (mal)
      return mal;
   if (e.bits != 8)
      return profundidad;
   if (!quedan(c, (long)e.ancho * e.alto))
      return "tiene menos pixeles de los que dice";
   c.pos += (long)e.ancho * e.alto;
   return nullptr;
}

// draw_rle_sprite cuts runs at the sprite's width but reads on until it has
// seen as many end-of-row markers as the sprite has rows, past the data if
// they are missing. So: every row ends inside the data, and no run is wider
// than the sprite, since then the rows after it are read out of step.
static const char *leer_rle(cinta &c, entrada &e)
{
   if (!quedan(c, 10))
      return "corta";
   const char *mal = leer_dimensiones(c, e);
   if (mal)
      return mal;
   long largo = leer32(c);
   if (e.bits != 8)
      return profundidad;
   if (!quedan(c, largo) || c.fin - c.pos != largo)
      return "no ocupa lo que dice su cabecera";
   for (int fila = 0; fila < e.alto; fila++) {
      long x = 0;
      for (;;) {
         if (!quedan(c, 1))
            return "tiene una fila RLE sin terminar";
         int n = (signed char)c.p[c.pos++];
         if (n == 0)
            break;
         if (n > 0) {
            if (!quedan(c, n))
               return "tiene una fila RLE sin terminar";
            c.pos += n;
            x += n;
         } else {
            x -= n;
         }
         if (x > e.ancho)
            return "tiene una fila RLE mas ancha que el sprite";
      }
   }
   return nullptr;
}

static const char *leer_paleta(cinta &c, entrada &)
{
   if (!quedan(c, 256 * 4))
      return "corta";
   c.pos += 256 * 4;
   return nullptr;
}

// The loader keeps entries it has no reader for as raw bytes, as many as
// the chunk says; dat always adds one of these for its own notes.
static const long dat_info = DAT_ID('i', 'n', 'f', 'o');

static const char *leer_contenido(cinta &c, entrada &e)
{
   if (e.tipo == dat_info) {
      c.pos = c.fin;
      return nullptr;
   }
   switch (e.tipo) {
   case DAT_MIDI: return leer_midi(c, e);
   case DAT_SAMPLE: return leer_muestra(c, e);
   case DAT_BITMAP: return leer_bitmap(c, e);
   case DAT_RLE_SPRITE: return leer_rle(c, e);
   case DAT_PALETTE: return leer_paleta(c, e);
   }
   return "";  // not one the loader can be trusted with
}

// One object: its properties, type, chunk sizes and payload.
static const char *leer_objeto(const char *nombre, cinta &c, int i, entrada &e)
{
   for (;;) {
      if (!quedan(c, 4))
         return decir(nombre, "cortado en la entrada %d", i);
      e.tipo = leer32(c);
      if (e.tipo != DAT_PROPERTY)
         break;
      if (!quedan(c, 8))
         return decir(nombre, "cortado en la entrada %d", i);
      leer32(c);
      long largo = leer32(c);
      if (largo < 0)
         return decir(nombre, "la entrada %d tiene una propiedad de largo imposible", i);
      if (!quedan(c, largo))
         return decir(nombre, "cortado en la entrada %d", i);
      c.pos += largo;
   }
   if (!quedan(c, 8))
      return decir(nombre, "cortado en la entrada %d", i);
   long en_fichero = leer32(c);
   long suelto = leer32(c);
   if (suelto < 0)
      return decir(nombre, "la entrada %d va comprimida por separado; "
                   "guardalo con dat -c0 o -c2", i);
   if (en_fichero != suelto || en_fichero < 0)
      return decir(nombre, "la entrada %d tiene una cabecera incoherente", i);
   if (!quedan(c, en_fichero))
      return decir(nombre, "cortado en la entrada %d", i);
   if (e.tipo == DAT_FILE)
      return decir(nombre, "la entrada %d (%s) es un datafile anidado", i,
                   nombre_entrada(i));
   cinta trozo = {c.p, c.pos + en_fichero, c.pos};
   const char *mal = leer_contenido(trozo, e);
   // For the eight entries the game uses, a wrong type or depth says more
   // than whatever else is off in them.
   if (i < hacen_falta && (e.tipo != tipo_de(i) || mal == profundidad))
      return regla(nombre, i, e);
   if (mal && !*mal) {
      const unsigned char *t = c.p + c.pos - 12;
      char letras[5];
      for (int k = 0; k < 4; k++)
         letras[k] = t[k] >= 32 && t[k] < 127 ? (char)t[k] : '?';
      letras[4] = 0;
      return decir(nombre, "la entrada %d (%s) es de un tipo que el juego no usa (%s)",
                   i, nombre_entrada(i), letras);
   }
   if (mal)
      return decir(nombre, "la entrada %d (%s, %s) %s", i, nombre_entrada(i),
                   nombre_tipo(e.tipo), mal);
   if (trozo.pos != trozo.fin)
      return decir(nombre, "la entrada %d (%s) no ocupa lo que dice su cabecera", i,
                   nombre_entrada(i));
   c.pos = trozo.fin;
   return nullptr;
}

// The whole stream after Allegro's packfile layer, which undoes "slh!" packing.
static const char *leer_todo(const char *nombre, std::vector<unsigned char> &datos)
{
   std::FILE *f = std::fopen(nombre, "rb");
   if (!f)
      return decir(nombre, "no existe o no se puede leer");
   // A directory opens too, and then fails to read.
   int primero = std::fgetc(f);
   bool roto = std::ferror(f);
   std::fclose(f);
   if (roto)
      return decir(nombre, "no existe o no se puede leer");
   if (primero == EOF)
      return decir(nombre, "esta vacio");

   PACKFILE *pf = pack_fopen(nombre, F_READ_PACKED);
   if (!pf)
      return decir(nombre, "no es un datafile de Allegro");
   const long paso = 64 * 1024;
   long n = 0;
   for (;;) {
      datos.resize(n + paso);
      long leidos = pack_fread(datos.data() + n, paso, pf);
      if (leidos < 0)
         leidos = 0;
      n += leidos;
      if (leidos < paso || n > tope)
         break;
   }
   pack_fclose(pf);
   datos.resize(n);
   if (n > tope)
      return decir(nombre, "es demasiado grande (mas de 64 MiB)");
   return nullptr;
}

const char *chequeo_fichero(const char *nombre)
{
   std::vector<unsigned char> datos;
   const char *mal = leer_todo(nombre, datos);
   if (mal)
      return mal;
   cinta c = {datos.data(), (long)datos.size(), 0};
   if (!quedan(c, 4) || leer32(c) != DAT_MAGIC)
      return decir(nombre, "no es un datafile de Allegro");
   if (!quedan(c, 4))
      return decir(nombre, "cortado en la entrada 0");
   long cuantas = leer32(c);
   // The loader makes room for every entry up front; each takes at least
   // twelve bytes of header.
   if (cuantas < 0 || cuantas > (c.fin - c.pos) / 12)
      return decir(nombre, "dice tener %ld entradas y no caben", cuantas);
   if (cuantas < hacen_falta)
      return decir(nombre, "tiene %ld entradas, hacen falta %d", cuantas, hacen_falta);
   for (int i = 0; i < cuantas; i++) {
      entrada e = {0, 0, 0, 0, 0};
      mal = leer_objeto(nombre, c, i, e);
      if (!mal && i < hacen_falta)
         mal = regla(nombre, i, e);
      if (mal)
         return mal;
   }
   return nullptr;
}

const char *chequeo_datos(DATAFILE *datos, const char *nombre)
{
   if (!datos)
      return decir(nombre, "no se pudo cargar");
   int cuantas = 0;
   while (cuantas < hacen_falta && datos[cuantas].type != DAT_END)
      cuantas++;
   if (cuantas < hacen_falta)
      return decir(nombre, "tiene %d entradas, hacen falta %d", cuantas, hacen_falta);
   for (int i = 0; i < hacen_falta; i++) {
      entrada e = {datos[i].type, 0, 0, 0, 0};
      if (!datos[i].dat)
         return decir(nombre, "la entrada %d (%s) esta vacia", i, nombres[i]);
      if (e.tipo == DAT_BITMAP) {
         BITMAP *b = (BITMAP *)datos[i].dat;
         e.bits = bitmap_color_depth(b);
         e.ancho = b->w;
         e.alto = b->h;
      } else if (e.tipo == DAT_RLE_SPRITE) {
         RLE_SPRITE *r = (RLE_SPRITE *)datos[i].dat;
         e.bits = r->color_depth;
         e.ancho = r->w;
         e.alto = r->h;
      } else if (e.tipo == DAT_SAMPLE) {
         SAMPLE *s = (SAMPLE *)datos[i].dat;
         e.bits = s->bits;
         e.largo = (long)s->len;
      }
      const char *mal = regla(nombre, i, e);
      if (mal)
         return mal;
   }
   return nullptr;
}
