// A few hundred damaged copies of a good datos.dat. Each must be refused by
// the check with a message, or load in a child process (bounded in memory and
// time) into eight entries the game can use. The loader is also run on the
// refused ones, to count how many of them it would not have survived.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>

#include "chequeo.h"
#include "chequeo_comun.h"

namespace {

const int iniciado = iniciar_allegro();

struct variante {
   std::string nombre;
   bytes b;
};

// What the child tells by its exit status.
enum { cargo_bien = 0, cargo_null = 3, cargo_mal = 4, murio = 100 };

// Loads in a child; with usar, also draws and reads every entry the way the
// game does, so a bad sprite shows up here and not in a race.
int cargar_aparte(const std::string &ruta, bool usar)
{
   pid_t hijo = fork();
   if (hijo == 0) {
#if !defined(__SANITIZE_ADDRESS__)
      rlimit r = {512L << 20, 512L << 20};
      setrlimit(RLIMIT_AS, &r);
#endif
      alarm(10);
      dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
      DATAFILE *d = load_datafile(ruta.c_str());
      if (!d)
         _exit(cargo_null);
      if (usar) {
         if (chequeo_datos(d, ruta.c_str()))
            _exit(cargo_mal);
         if (!usar_datos(d))
            _exit(cargo_mal);
      }
      unload_datafile(d);
      _exit(cargo_bien);
   }
   int estado = 0;
   waitpid(hijo, &estado, 0);
   return WIFEXITED(estado) ? WEXITSTATUS(estado) : murio + WTERMSIG(estado);
}

void agregar(std::vector<variante> &v, const std::string &nombre, const bytes &b)
{
   v.push_back({nombre, b});
}

std::vector<variante> danadas(const bytes &buena, const bytes &packed)
{
   std::vector<variante> v;
   unsigned semilla = 12345;
   auto azar = [&semilla](size_t n) {
      semilla = semilla * 1103515245u + 12345u;
      return (size_t)((semilla >> 8) % n);
   };
   agregar(v, "vacio", bytes());
   agregar(v, "ceros", bytes(buena.size(), 0));
   agregar(v, "solo_magia", bytes(buena.begin(), buena.begin() + 4));
   agregar(v, "solo_magia_packed", bytes(packed.begin(), packed.begin() + 4));

   std::vector<size_t> cortes;
   for (size_t k = 0; k < 200; k += 3)
      cortes.push_back(k);
   for (size_t c : campos(buena))
      for (size_t d : {0, 1, 4})
         if (c + d < buena.size())
            cortes.push_back(c + d);
   for (int k = 1; k < 20; k++)
      cortes.push_back(buena.size() * k / 20);
   cortes.push_back(buena.size() - 1);
   size_t paso = 1 + cortes.size() / 150;
   for (size_t i = 0; i < cortes.size(); i += paso)
      agregar(v, "cortado_" + std::to_string(cortes[i]),
              bytes(buena.begin(), buena.begin() + cortes[i]));

   const uint32_t raros[] = {0, 1, 0x7f, 0xffffffff, 0x7fffffff, 0x80000000, 0x10000,
                             0x00ffffff};
   std::vector<size_t> c = campos(buena);
   for (size_t i = 0; i < c.size(); i += 1 + c.size() / 200) {
      bytes b = buena;
      uint32_t valor = raros[i % 8];
      if (i % 3 == 0)
         valor = mirar32(b, c[i]) ^ (1u << azar(32));
      cambiar32(b, c[i], valor);
      agregar(v, "campo_" + std::to_string(c[i]) + "_" + std::to_string(valor), b);
   }
   for (int i = 0; i < 60; i++) {
      bytes b = buena;
      for (int k = 0; k < 1 + i % 4; k++)
         b[12 + azar(b.size() - 12)] ^= 1 + azar(255);
      agregar(v, "bytes_" + std::to_string(i), b);
   }
   // Inside the sprites, where one byte makes a run overshoot the row.
   for (int i = 0; i < 40; i++) {
      bytes b = buena;
      size_t p = c[2 + azar(c.size() - 2)];
      b[std::min(p + 12 + azar(200), b.size() - 1)] = azar(256);
      agregar(v, "dentro_" + std::to_string(i), b);
   }
   agregar(v, "packed_bueno", packed);
   for (int i = 0; i < 30; i++) {
      bytes b = packed;
      if (i % 3 == 0)
         b.resize(4 + azar(b.size() - 4));
      else
         b[4 + azar(std::min<size_t>(b.size() - 4, 400 + i * 50))] ^= 1 + azar(255);
      agregar(v, "packed_" + std::to_string(i), b);
   }
   return v;
}

// Files the fuzzer once got through, kept so they stay refused or safe.
void guardados(std::vector<variante> &v)
{
#ifdef CORPUS_FALLOS
   DIR *d = opendir(CORPUS_FALLOS);
   if (!d)
      return;
   while (dirent *e = readdir(d))
      if (e->d_name[0] != '.')
         agregar(v, std::string("guardado_") + e->d_name,
                 leer(std::string(CORPUS_FALLOS) + "/" + e->d_name));
   closedir(d);
#endif
}

TEST(corpus, cada_fichero_danado_se_rechaza_o_carga_bien)
{
   ASSERT_EQ(iniciado, 0);
   std::string base = datos_buenos();
   ASSERT_FALSE(base.empty());
   // Damage is done on the unpacked form, whatever the build made.
   std::string suelta = comprimido(base, "-c0");
   bytes buena = leer(suelta);
   bytes packed = leer(comprimido(suelta, "-c2"));
   ASSERT_EQ(mirar32(buena, 0), 0x736C682Eu);
   ASSERT_EQ(mirar32(packed, 0), 0x736C6821u);

   std::vector<variante> v = danadas(buena, packed);
   guardados(v);
   int aceptados = 0, rechazados = 0, cargador_caido = 0, cargador_null = 0;
   int senales[NSIG] = {};
   std::string ruta = carpeta() + "/variante.dat";
   for (const variante &x : v) {
      SCOPED_TRACE(x.nombre);
      escribir(ruta, x.b);
      const char *mal = chequeo_fichero(ruta.c_str());
      if (mal) {
         rechazados++;
         EXPECT_EQ(std::string(mal).rfind(ruta + ": ", 0), 0u) << mal;
         int r = cargar_aparte(ruta, false);
         if (r >= murio && r - murio < NSIG) {
            cargador_caido++;
            senales[r - murio]++;
         }
         cargador_null += r == cargo_null;
         continue;
      }
      aceptados++;
      EXPECT_EQ(cargar_aparte(ruta, true), cargo_bien);
   }
   std::printf("corpus: %zu probados, %d aceptados, %d rechazados\n", v.size(),
               aceptados, rechazados);
   std::printf("corpus: load_datafile a solas, con los rechazados: cae con %d "
               "(", cargador_caido);
   for (int s = 1; s < NSIG; s++)
      if (senales[s])
         std::printf(" %s %d", strsignal(s), senales[s]);
   std::printf(" ), devuelve NULL con %d\n", cargador_null);
   EXPECT_GT(aceptados, 0);
   EXPECT_GT(rechazados, (int)v.size() / 2);
}

}  // namespace
