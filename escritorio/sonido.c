/* The desktop's digital sound, on SDL's audio (PipeWire, PulseAudio or ALSA,
 * as SDL finds them). Allegro's own mixer, and through it the tune's
 * software MIDI player, mixes 16-bit stereo at 44100 Hz straight into SDL's
 * buffer on SDL's audio thread, a short buffer at a time, so a step is
 * heard soon after its key. Without a sound device the driver is not
 * there, and the game plays silent as it does without a sound card. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "escritorio.h"

#define TROZO 1024  /* frames mixed at a time: about 23 ms */
static SDL_AudioDeviceID altavoz;
static SDL_sem *empezado;  /* SDL's sound thread has mixed once */
static int mezclado;       /* the sound thread's own */

static void mezclar(void *nada, Uint8 *buf, int largo)
{
   (void)nada;
   if (!mezclado) {
      mezclado = 1;
      SDL_SemPost(empezado);
   }
   /* SDL asks for the size it was opened with, which the mixer makes. */
   for (; largo >= TROZO * 4; largo -= TROZO * 4, buf += TROZO * 4)
      _mix_some_samples((uintptr_t)buf, 0, TRUE);
   if (largo > 0)
      SDL_memset(buf, 0, largo);
}

static int detectar(int entrada)
{
   return !entrada;
}

static int abrir(int entrada, int voces)
{
   if (entrada)
      return -1;
   if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
      return -1;
   }
   SDL_AudioSpec quiero, hay;
   SDL_zero(quiero);
   quiero.freq = 44100;
   quiero.format = AUDIO_S16SYS;
   quiero.channels = 2;
   quiero.samples = TROZO;
   quiero.callback = mezclar;
   _sound_freq = quiero.freq;
   _sound_bits = 16;
   _sound_stereo = TRUE;
   digi_sdl.voices = voces;
   if (_mixer_init(TROZO * 2, _sound_freq, TRUE, TRUE, &digi_sdl.voices) != 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return -1;
   }
   mezclado = 0;
   empezado = SDL_CreateSemaphore(0);
   altavoz = empezado ? SDL_OpenAudioDevice(NULL, 0, &quiero, &hay, 0) : 0;
   if (!altavoz) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
      SDL_DestroySemaphore(empezado);
      empezado = NULL;
      _mixer_exit();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return -1;
   }
   SDL_PauseAudioDevice(altavoz, 0);
   /* As it starts, SDL's sound thread reads SDL's hints, which SDL does not
    * guard: the window's thread (the screen comes next) sets its own only
    * once this one is mixing. */
   SDL_SemWaitTimeout(empezado, 1000);
   return 0;
}

static void cerrar(int entrada)
{
   if (entrada || !altavoz)
      return;
   SDL_CloseAudioDevice(altavoz);
   altavoz = 0;
   SDL_DestroySemaphore(empezado);
   empezado = NULL;
   _mixer_exit();
   SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

static int tamano(void)
{
   return TROZO;
}

DIGI_DRIVER digi_sdl = {
   .id = DIGI_SDL,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Sonido (SDL)",
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
