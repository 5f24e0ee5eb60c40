// The title tune really sounds: Allegro's software MIDI player, set up by
// the game's allegro.cfg, finds patches.dat beside the game and plays the
// tune. The sound goes to a file through ALSA's file device instead of a
// card, and must not be silence. Needs a display (Allegro's system driver).
#include <gtest/gtest.h>
#include <allegro.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "datos.h"

// RMS of 16-bit unsigned stereo samples, as Allegro's ALSA driver writes.
static double nivel(const std::string &ruta)
{
   FILE *f = std::fopen(ruta.c_str(), "rb");
   if (!f)
      return -1;
   unsigned char b[2];
   double suma = 0;
   long n = 0;
   while (std::fread(b, 1, 2, f) == 2) {
      double v = (b[0] | (b[1] << 8)) - 32768.0;
      suma += v * v;
      n++;
   }
   std::fclose(f);
   return n ? std::sqrt(suma / n) : 0;
}

TEST(sonido, el_tema_se_oye_con_los_patches_de_al_lado)
{
   if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "sin DISPLAY";
   std::string raw = "/tmp/datos_sonido_" + std::to_string(getpid()) + ".raw";
   // The capture goes at the end, also when a check stops the test early.
   struct quitar {
      std::string ruta;
      ~quitar() { std::remove(ruta.c_str()); }
   } captura{raw};
   // Allegro looks for patches.dat where $ALLEGRO points, as beside the game.
   setenv("ALLEGRO", SALIDA, 1);
   ASSERT_EQ(allegro_init(), 0) << allegro_error;
   install_timer();
   set_config_file(SALIDA "/allegro.cfg");
   std::string sonido = "[sound]\ndigi_card = ALSA\nalsa_device = file:FILE=" + raw +
                        ",FORMAT=raw\nsound_freq = 22050\n";
   override_config_data(sonido.c_str(), sonido.size());
   ASSERT_EQ(install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr), 0) << allegro_error;
   EXPECT_EQ(midi_driver->id, MIDI_DIGMID);

   DATAFILE *datos = load_datafile(SALIDA "/datos.dat");
   ASSERT_NE(datos, nullptr);
   MIDI *tema = (MIDI *)datos[MUSICA].dat;
   EXPECT_GE(get_midi_length(tema), 20);
   ASSERT_EQ(play_midi(tema, 0), 0);
   rest(2000);
   EXPECT_GT(midi_pos, 0);
   stop_midi();
   remove_sound();

   double n = nivel(raw);
   EXPECT_GT(n, 300.0) << "the tune came out silent";
   unload_datafile(datos);
}
