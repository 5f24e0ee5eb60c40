// The datafile check on files damaged on purpose, one fault each.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "chequeo.h"
#include "chequeo_comun.h"

namespace {

const int iniciado = iniciar_allegro();

std::string guardar(const std::string &nombre, const bytes &b)
{
   std::string ruta = carpeta() + "/" + nombre;
   escribir(ruta, b);
   return ruta;
}

std::string quitar_carpeta(const char *mensaje)
{
   std::string m = mensaje ? mensaje : "(aceptado)";
   std::string d = carpeta() + "/";
   return m.rfind(d, 0) == 0 ? m.substr(d.size()) : m;
}

troceado buenas()
{
   // dat adds its own info entry after ours; the cases put their own last.
   troceado t = trocear(leer(datos_propios()));
   EXPECT_EQ(t.entradas.size(), 9u);
   t.entradas.resize(8);
   return t;
}

// Offset of an entry's payload, past its properties, type and chunk sizes.
size_t contenido(const troceado &t, int i)
{
   return t.tipo_en[i] + 12;
}

TEST(chequeo, los_datos_buenos_pasan_y_cargan)
{
   ASSERT_EQ(iniciado, 0);
   std::string ruta = datos_propios();
   ASSERT_FALSE(ruta.empty()) << "dat no pudo hacer el datafile de prueba";
   for (const std::string &r : {ruta, comprimido(ruta, "-c2")}) {
      EXPECT_EQ(chequeo_fichero(r.c_str()), nullptr) << chequeo_fichero(r.c_str());
      DATAFILE *d = load_datafile(r.c_str());
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(chequeo_datos(d, r.c_str()), nullptr) << chequeo_datos(d, r.c_str());
      unload_datafile(d);
   }
}

struct caso {
   const char *nombre;
   bytes (*hacer)();
   const char *mensaje;
};

bytes con_entrada(int i, const bytes &nueva)
{
   troceado t = buenas();
   t.entradas[i] = nueva;
   return montar(t.entradas);
}

// A tune of one track with the given events; the other 31 are empty.
bytes midi(const bytes &eventos)
{
   bytes b;
   poner16(b, 96);
   poner32(b, eventos.size());
   b.insert(b.end(), eventos.begin(), eventos.end());
   for (int t = 1; t < 32; t++)
      poner32(b, 0);
   return objeto("MIDI", b);
}

bytes mover_32(int i, size_t donde, uint32_t valor)
{
   troceado t = buenas();
   cambiar32(t.entradas[i], t.tipo_en[i] + donde, valor);
   return montar(t.entradas);
}

const caso casos[] = {
   {"vacio", [] { return bytes(); }, "vacio.dat: esta vacio"},
   {"ceros", [] { return bytes(4000, 0); }, "ceros.dat: no es un datafile de Allegro"},
   {"otra_magia", [] { bytes b = leer(datos_propios()); b[5] = 'X'; return b; },
    "otra_magia.dat: no es un datafile de Allegro"},
   {"solo_magia", [] { return bytes{'s', 'l', 'h', '.', 'A', 'L', 'L', '.'}; },
    "solo_magia.dat: cortado en la entrada 0"},
   {"cortado", [] {
       troceado t = buenas();
       bytes b = montar(t.entradas);
       size_t hasta = 12;
       for (int i = 0; i < 3; i++)
          hasta += t.entradas[i].size();
       b.resize(hasta + contenido(t, 3) + 5);
       return b;
    }, "cortado.dat: cortado en la entrada 3"},
   {"cortado_en_propiedad", [] {
       troceado t = buenas();
       bytes b = montar(t.entradas);
       size_t hasta = 12;
       for (int i = 0; i < 7; i++)
          hasta += t.entradas[i].size();
       b.resize(hasta + 20);
       return b;
    }, "cortado_en_propiedad.dat: cortado en la entrada 7"},
   {"tres_entradas", [] {
       troceado t = buenas();
       t.entradas.resize(3);
       return montar(t.entradas);
    }, "tres_entradas.dat: tiene 3 entradas, hacen falta 8"},
   {"muestra_en_la_pista", [] { return con_entrada(6, buenas().entradas[5]); },
    "muestra_en_la_pista.dat: la entrada 6 (pista) es un sample, no un bitmap"},
   {"pista_pequena", [] { return con_entrada(6, objeto("BMP ", bitmap(8, 100, 100, 10000))); },
    "pista_pequena.dat: la pista mide 100x100, hace falta al menos 513x498"},
   {"titulo_32_bits", [] {
       return con_entrada(7, objeto("BMP ", bitmap(32, 800, 600, 800 * 600 * 4)));
    }, "titulo_32_bits.dat: la entrada 7 (titulo) es de 32 bits, hacen falta 8"},
   {"coche_grande", [] {
       troceado t = buenas();
       bytes b = t.entradas[2];
       b[contenido(t, 2) + 2] = 0;
       b[contenido(t, 2) + 3] = 174;
       return con_entrada(2, b);
    }, "coche_grande.dat: el coche izquierda mide 174x40, cabe como mucho en 173x92"},
   {"fila_rle_ancha", [] {
       troceado t = buenas();
       bytes b = t.entradas[1];
       // The first row of the frame sprite is one skip of the whole width.
       b[contenido(t, 1) + 10] = (unsigned char)-41;
       return con_entrada(1, b);
    }, "fila_rle_ancha.dat: la entrada 1 (coche abajo, un sprite RLE) tiene una fila RLE mas ancha que el sprite"},
   {"fila_rle_sin_fin", [] {
       troceado t = buenas();
       bytes b = t.entradas[4];
       // Turn every end-of-row into a one-pixel skip.
       for (size_t k = contenido(t, 4) + 10; k < b.size(); k++)
          if (b[k] == 0)
             b[k] = 0xff;
       return con_entrada(4, b);
    }, "fila_rle_sin_fin.dat: la entrada 4 (coche arriba, un sprite RLE) tiene una fila RLE mas ancha que el sprite"},
   {"fila_rle_larga", [] {
       bytes rle;
       poner16(rle, 8);
       poner16(rle, 10);
       poner16(rle, 2);
       poner32(rle, 130);
       rle.push_back(127);
       rle.resize(rle.size() + 127, 5);
       rle.push_back(0);
       rle.push_back(0);
       return con_entrada(1, objeto("RLE ", rle));
    }, "fila_rle_larga.dat: la entrada 1 (coche abajo, un sprite RLE) tiene una fila RLE mas ancha que el sprite"},
   {"rle_sin_filas", [] {
       bytes rle;
       poner16(rle, 8);
       poner16(rle, 1);
       poner16(rle, 90);
       poner32(rle, 2);
       rle.push_back(1);
       rle.push_back(9);
       return con_entrada(3, objeto("RLE ", rle));
    }, "rle_sin_filas.dat: la entrada 3 (coche derecha, un sprite RLE) tiene una fila RLE sin terminar"},
   {"cuenta_enorme", [] {
       bytes b = leer(datos_propios());
       cambiar32(b, 8, 0x7fffffff);
       return b;
    }, "cuenta_enorme.dat: dice tener 2147483647 entradas y no caben"},
   {"cuenta_negativa", [] {
       bytes b = leer(datos_propios());
       cambiar32(b, 8, 0xfffffff0);
       return b;
    }, "cuenta_negativa.dat: dice tener -16 entradas y no caben"},
   {"propiedad_enorme", [] {
       bytes b = leer(datos_propios());
       cambiar32(b, 12 + 8, 0x7ffffff0);
       return b;
    }, "propiedad_enorme.dat: cortado en la entrada 0"},
   {"propiedad_negativa", [] {
       bytes b = leer(datos_propios());
       cambiar32(b, 12 + 8, 0x80000000);
       return b;
    }, "propiedad_negativa.dat: la entrada 0 tiene una propiedad de largo imposible"},
   {"trozo_enorme", [] { return mover_32(6, 4, 0x7ffffff0); },
    "trozo_enorme.dat: la entrada 6 tiene una cabecera incoherente"},
   {"trozos_enormes", [] {
       troceado t = buenas();
       cambiar32(t.entradas[6], t.tipo_en[6] + 4, 0x7ffffff0);
       cambiar32(t.entradas[6], t.tipo_en[6] + 8, 0x7ffffff0);
       return montar(t.entradas);
    }, "trozos_enormes.dat: cortado en la entrada 6"},
   {"comprimida_aparte", [] { return mover_32(3, 8, 0xffffff00); },
    "comprimida_aparte.dat: la entrada 3 va comprimida por separado; guardalo con dat -c0 o -c2"},
   {"muestra_enorme", [] { return mover_32(5, 12 + 4, 0x7fffffff); },
    "muestra_enorme.dat: la entrada 5 (motor, un sample) dice tener mas muestras de las que trae"},
   {"muestra_vacia", [] { return con_entrada(5, objeto("SAMP", {0, 8, 0x2b, 0x11, 0, 0, 0, 0})); },
    "muestra_vacia.dat: la entrada 5 (motor, un sample) es un sample vacio o sin frecuencia"},
   {"pista_midi_enorme", [] { return mover_32(0, 12 + 2, 0x7fffffff); },
    "pista_midi_enorme.dat: la entrada 0 (musica, un MIDI) tiene una pista MIDI que se sale"},
   {"midi_bien", [] {
       return con_entrada(0, midi({0, 0x90, 60, 100, 0x60, 60, 0, 0, 0xf0, 1, 0xf7,
                                   0x81, 0x00, 0xff, 0x2f, 0}));
    }, nullptr},
   {"midi_sin_fin", [] { return con_entrada(0, midi({0, 0x90, 60, 100})); },
    "midi_sin_fin.dat: la entrada 0 (musica, un MIDI) tiene una pista MIDI mal formada"},
   {"midi_sin_estado", [] { return con_entrada(0, midi({0, 60, 100, 0, 0xff, 0x2f, 0})); },
    "midi_sin_estado.dat: la entrada 0 (musica, un MIDI) tiene una pista MIDI mal formada"},
   {"midi_meta_larga", [] { return con_entrada(0, midi({0, 0xff, 1, 0x7f, 'a', 0, 0xff, 0x2f, 0})); },
    "midi_meta_larga.dat: la entrada 0 (musica, un MIDI) tiene una pista MIDI mal formada"},
   {"midi_nota_cortada", [] { return con_entrada(0, midi({0, 0x90, 60})); },
    "midi_nota_cortada.dat: la entrada 0 (musica, un MIDI) tiene una pista MIDI mal formada"},
   {"bitmap_enorme", [] {
       troceado t = buenas();
       bytes b = t.entradas[7];
       b[contenido(t, 7) + 4] = 0x7f;  // height
       return con_entrada(7, b);
    }, "bitmap_enorme.dat: la entrada 7 (titulo, un bitmap) tiene menos pixeles de los que dice"},
   {"rle_enorme", [] { return mover_32(2, 12 + 6, 0x7fffffff); },
    "rle_enorme.dat: la entrada 2 (coche izquierda, un sprite RLE) no ocupa lo que dice su cabecera"},
   {"sobra_en_el_trozo", [] {
       return con_entrada(6, objeto("BMP ", bitmap(8, 600, 600, 600 * 600 + 3)));
    }, "sobra_en_el_trozo.dat: la entrada 6 (pista) no ocupa lo que dice su cabecera"},
   {"anidado", [] {
       troceado t = buenas();
       bytes dentro;
       poner32(dentro, 0);
       t.entradas.push_back(objeto("FILE", dentro));
       return montar(t.entradas);
    }, "anidado.dat: la entrada 8 (sobrante) es un datafile anidado"},
   {"tipo_raro", [] {
       troceado t = buenas();
       t.entradas.push_back(objeto("XYZW", bytes(16, 1)));
       return montar(t.entradas);
    }, "tipo_raro.dat: la entrada 8 (sobrante) es de un tipo que el juego no usa (XYZW)"},
   {"info_cortada", [] {
       troceado t = trocear(leer(datos_propios()));
       cambiar32(t.entradas[8], t.tipo_en[8] + 4, 1000);
       cambiar32(t.entradas[8], t.tipo_en[8] + 8, 1000);
       return montar(t.entradas);
    }, "info_cortada.dat: cortado en la entrada 8"},
   {"paleta_de_mas", [] {
       troceado t = buenas();
       t.entradas.push_back(objeto("PAL ", bytes(1024, 3)));
       return montar(t.entradas);
    }, nullptr},
};

TEST(chequeo, ficheros_danados)
{
   for (const caso &c : casos) {
      SCOPED_TRACE(c.nombre);
      std::string ruta = guardar(std::string(c.nombre) + ".dat", c.hacer());
      const char *m = chequeo_fichero(ruta.c_str());
      EXPECT_EQ(quitar_carpeta(m), c.mensaje ? c.mensaje : "(aceptado)");
   }
}

TEST(chequeo, no_existe_o_no_se_lee)
{
   EXPECT_STREQ(chequeo_fichero("/no/hay/datos.dat"), "/no/hay/datos.dat: no existe o no se puede leer");
   EXPECT_STREQ(chequeo_fichero("/tmp"), "/tmp: no existe o no se puede leer");

   // A file its player may not read. Root reads anything, so the check runs
   // in a child that has become nobody; the folder lets nobody through.
   std::string ruta = guardar("sin_permiso.dat", leer(datos_propios()));
   ASSERT_EQ(chmod(carpeta().c_str(), 0711), 0);
   auto como_nadie = [&](mode_t modo) {
      chmod(ruta.c_str(), modo);
      pid_t hijo = fork();
      if (hijo == 0) {
         if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
         const char *m = chequeo_fichero(ruta.c_str());
         std::printf("%s\n", m ? m : "(aceptado)");
         std::fflush(stdout);
         _exit(0);
      }
      int estado = 0;
      waitpid(hijo, &estado, 0);
      return WIFEXITED(estado) ? WEXITSTATUS(estado) : -1;
   };
   testing::internal::CaptureStdout();
   EXPECT_EQ(como_nadie(0644), 0);
   EXPECT_EQ(como_nadie(0), 0);
   std::string dicho = testing::internal::GetCapturedStdout();
   EXPECT_EQ(dicho, "(aceptado)\n" + ruta + ": no existe o no se puede leer\n");
}

TEST(chequeo, fichero_comprimido_por_entradas)
{
   std::string ruta = comprimido(datos_propios(), "-c1");
   EXPECT_NE(quitar_carpeta(chequeo_fichero(ruta.c_str())).find("va comprimida por separado"),
             std::string::npos);
}

// Files Allegro loads fine but the game cannot use: the check before loading
// and the one after agree on what is wrong.
TEST(chequeo, antes_y_despues_dicen_lo_mismo)
{
   const char *nombres[] = {"tres_entradas", "muestra_en_la_pista", "pista_pequena",
                            "paleta_de_mas"};
   for (const char *n : nombres) {
      SCOPED_TRACE(n);
      for (const caso &c : casos) {
         if (std::string(c.nombre) != n)
            continue;
         std::string ruta = guardar(std::string(n) + ".dat", c.hacer());
         std::string antes = quitar_carpeta(chequeo_fichero(ruta.c_str()));
         DATAFILE *d = load_datafile(ruta.c_str());
         ASSERT_NE(d, nullptr);
         EXPECT_EQ(quitar_carpeta(chequeo_datos(d, ruta.c_str())), antes);
         unload_datafile(d);
      }
   }
   EXPECT_STREQ(chequeo_datos(nullptr, "datos.dat"), "datos.dat: no se pudo cargar");
}

}  // namespace
