/* The browser's digital sound. Allegro's own mixer (and through it the
 * tune's software MIDI player) fills a ring of 16-bit stereo frames in
 * memory the page shares with the game; Allegro's background thread keeps
 * the ring full, and the page's audio node plays from it at the browser's
 * own rate. Without sound in the page the driver is not there, and the game
 * plays silent as it does without a sound card. */
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>

#include "web.h"

#define TROZO 1024         /* frames mixed at a time: about 21 ms */
#define N (TROZO * 4)      /* the ring, and so the most the sound lags */
static short anillo[N * 2];
static atomic_uint leido, escrito;

static void llenar(int hilo)
{
   (void)hilo;
   while (atomic_load(&escrito) - atomic_load(&leido) <= N - TROZO) {
      unsigned e = atomic_load(&escrito);
      _mix_some_samples((uintptr_t)&anillo[(e % N) * 2], 0, TRUE);
      atomic_store(&escrito, e + TROZO);
   }
}

static int detectar(int entrada)
{
   return !entrada && web_sonido(NULL, 0, NULL, NULL) > 0;
}

static int abrir(int entrada, int voces)
{
   if (entrada)
      return -1;
   _sound_freq = web_sonido(NULL, 0, NULL, NULL);
   if (_sound_freq <= 0)
      return -1;
   _sound_bits = 16;
   _sound_stereo = TRUE;
   digi_web.voices = voces;
   if (_mixer_init(TROZO * 2, _sound_freq, TRUE, TRUE, &digi_web.voices) != 0)
      return -1;
   atomic_store(&leido, 0);
   atomic_store(&escrito, 0);
   llenar(0);
   web_sonido(anillo, N, &leido, &escrito);
   return _unix_bg_man->register_func(llenar);
}

static void cerrar(int entrada)
{
   if (entrada)
      return;
   _unix_bg_man->unregister_func(llenar);
   web_sonido(NULL, 0, NULL, NULL);
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
