/* The browser's digital sound. Allegro's own mixer (and through it the
 * tune's software MIDI player) mixes 16-bit stereo frames in the game's
 * waits, in small chunks, as many as the page's speaker lacks to stay a
 * short way ahead of what it plays, and hands them to the page at once,
 * which has the browser play them right after the last on its audio thread.
 * The page cuts the game's wait short when what is left runs low. Without sound
 * in the page the driver is not there, and the game plays silent as it does
 * without a sound card. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "web.h"

#define TROZO 256          /* frames mixed at a time: about 6 ms, so a new sound waits little */
#define LOTE 32            /* chunks handed over at once, at most */
static short lote[TROZO * LOTE * 2];
static int abierto;

/* What the speaker lacks, to the nearest chunk, in one hand-over. */
void web_mezclar(void)
{
   if (!abierto)
      return;
   int n = (web_sonido_falta() + TROZO / 2) / TROZO;
   while (n > 0) {
      int m = n < LOTE ? n : LOTE;
      for (int i = 0; i < m; i++)
         _mix_some_samples((uintptr_t)(lote + i * TROZO * 2), 0, TRUE);
      web_sonido_trozo(lote, m * TROZO);
      n -= m;
   }
}

static int detectar(int entrada)
{
   return !entrada && web_sonido_tasa() > 0;
}

static int abrir(int entrada, int voces)
{
   if (entrada)
      return -1;
   _sound_freq = web_sonido_tasa();
   if (_sound_freq <= 0)
      return -1;
   _sound_bits = 16;
   _sound_stereo = TRUE;
   digi_web.voices = voces;
   if (_mixer_init(TROZO * 2, _sound_freq, TRUE, TRUE, &digi_web.voices) != 0)
      return -1;
   abierto = 1;
   web_sonido(1);
   return 0;
}

static void cerrar(int entrada)
{
   if (entrada)
      return;
   abierto = 0;
   web_sonido(0);
   _mixer_exit();
}

static int tamano(void)
{
   return TROZO;
}

DIGI_DRIVER digi_web = {
   .id = DIGI_WEB,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Sonido del navegador",
   .max_voices = MIXER_MAX_SFX,
   .def_voices = MIXER_DEF_SFX,
   .detect = detectar,
   .init = abrir,
   .exit = cerrar,
   .buffer_size = tamano,
   .init_voice = _mixer_init_voice,
   .release_voice = _mixer_release_voice,
   .start_voice = _mixer_start_voice,
   .stop_voice = _mixer_stop_voice,
   .loop_voice = _mixer_loop_voice,
   .get_position = _mixer_get_position,
   .set_position = _mixer_set_position,
   .get_volume = _mixer_get_volume,
   .set_volume = _mixer_set_volume,
   .ramp_volume = _mixer_ramp_volume,
   .stop_volume_ramp = _mixer_stop_volume_ramp,
   .get_frequency = _mixer_get_frequency,
   .set_frequency = _mixer_set_frequency,
   .sweep_frequency = _mixer_sweep_frequency,
   .stop_frequency_sweep = _mixer_stop_frequency_sweep,
   .get_pan = _mixer_get_pan,
   .set_pan = _mixer_set_pan,
   .sweep_pan = _mixer_sweep_pan,
   .stop_pan_sweep = _mixer_stop_pan_sweep,
   .set_echo = _mixer_set_echo,
   .set_tremolo = _mixer_set_tremolo,
   .set_vibrato = _mixer_set_vibrato,
};
