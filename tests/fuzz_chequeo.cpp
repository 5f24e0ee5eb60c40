// libFuzzer target: each input is a datos.dat. The check looks at it first;
// only what it passes goes to Allegro's loader, which must then give eight
// usable entries. Any crash, abort or ASan report here is a hole in the check.
// Built and run by script/fuzz, not by the normal build.
#include <unistd.h>

#include "chequeo.h"
#include "chequeo_comun.h"

static std::string ruta;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
   iniciar_allegro();
   // The check takes a file name: a file in memory-backed /dev/shm per run.
   ruta = "/dev/shm/fuzz_chequeo." + std::to_string(getpid()) + ".dat";
   // script/fuzz asks for our own good datafile, plain and packed, as seeds.
   if (const char *semillas = getenv("CHEQUEO_SEMILLAS")) {
      std::string propio = datos_propios();
      orden("cp " + propio + " " + semillas + "/propio.dat");
      orden("cp " + comprimido(propio, "-c2") + " " + semillas + "/propio-c2.dat");
   }
   return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *datos, size_t n)
{
   std::FILE *f = std::fopen(ruta.c_str(), "wb");
   if (!f)
      return 0;
   std::fwrite(datos, 1, n, f);
   std::fclose(f);
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
   return 0;
}
