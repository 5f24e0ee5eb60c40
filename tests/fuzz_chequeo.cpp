// libFuzzer target: each input is a datos.dat. The check looks at it first;
// only what it passes goes to Allegro's loader, which must then give eight
// usable entries. Any crash, abort or ASan report here is a hole in the check.
// Built and run by script/fuzz, not by the normal build.
//
// Built with -DPARCHES, an input is instead a list of patches to a good
// datafile (CHEQUEO_BASE): most of what it makes is nearly right, so far more
// of it passes the check and gets to the loader. Each patch is five bytes:
// where (a field start, or any byte), how (set, xor, 32-bit value, cut) and a
// value.
#include <unistd.h>

#include "chequeo.h"
#include "chequeo_comun.h"

static std::string ruta;
static long probadas, cargadas;
static bytes base;
static std::vector<size_t> sitios;

// A fuzzer whose inputs never get past the check says nothing of the loader.
static void contar()
{
   unlink(ruta.c_str());
   std::fprintf(stderr, "fuzz_chequeo: %ld entradas probadas, %ld pasaron el chequeo y se cargaron\n",
                probadas, cargadas);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
   iniciar_allegro();
   atexit(contar);
   // The check takes a file name: a file in memory-backed /dev/shm per run.
   ruta = "/dev/shm/fuzz_chequeo." + std::to_string(getpid()) + ".dat";
   // script/fuzz asks for our own good datafile, plain and packed, as seeds.
   if (const char *semillas = getenv("CHEQUEO_SEMILLAS")) {
      std::string propio = datos_propios();
      orden("cp " + propio + " " + semillas + "/propio.dat");
      orden("cp " + comprimido(propio, "-c2") + " " + semillas + "/propio-c2.dat");
   }
   if (const char *b = getenv("CHEQUEO_BASE")) {
      base = leer(b);
      sitios = campos(base);
   }
   return 0;
}

#ifdef PARCHES
static bytes parchear(const unsigned char *p, size_t n)
{
   bytes b = base;
   const uint32_t grandes[] = {0, 0x7fffffff, 0xffffffff, 0x80000000};
   for (size_t k = 0; k + 5 <= n && !b.empty(); k += 5) {
      size_t donde = p[k] << 16 | p[k + 1] << 8 | p[k + 2];
      if (p[k + 3] & 0x80)
         donde = sitios[donde % sitios.size()] + (p[k + 3] >> 4 & 7);
      donde %= b.size();
      int valor = p[k + 4];
      switch (p[k + 3] & 3) {
      case 0: b[donde] = valor; break;
      case 1: b[donde] ^= valor; break;
      case 2:
         if (donde + 4 <= b.size())
            cambiar32(b, donde, valor < 4 ? grandes[valor] : mirar32(b, donde) + valor - 128);
         break;
      case 3: b.resize(donde); break;
      }
   }
   return b;
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *datos, size_t n)
{
#ifdef PARCHES
   bytes parcheado = parchear(datos, n);
   datos = parcheado.data();
   n = parcheado.size();
   // script/fuzz turns a crashing patch list back into the file it made.
   if (const char *salida = getenv("CHEQUEO_ESCRIBIR")) {
      escribir(salida, parcheado);
      return 0;
   }
#endif
   std::FILE *f = std::fopen(ruta.c_str(), "wb");
   if (!f)
      return 0;
   std::fwrite(datos, 1, n, f);
   std::fclose(f);
   probadas++;
   if (chequeo_fichero(ruta.c_str()))
      return 0;
   DATAFILE *d = load_datafile(ruta.c_str());
   if (!d || chequeo_datos(d, ruta.c_str()) || !usar_datos(d)) {
      std::fprintf(stderr, "aceptado pero %s\n",
                   d ? chequeo_datos(d, ruta.c_str()) ? chequeo_datos(d, ruta.c_str())
                                                      : "pinta fuera"
                     : "load_datafile da NULL");
      abort();
   }
   unload_datafile(d);
   cargadas++;
   return 0;
}
