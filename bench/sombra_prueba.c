/* A made-up race for checking the pacing shim: the same calls as a race
 * frame, in a known pattern, so that bench/ritmo_prueba.py can compare the
 * shim's log with what was done. Not the game, and not a test by itself. */
#include <allegro.h>

static volatile int n;

static void cuenta(void)
{
   n++;
}

int main(void)
{
   if (allegro_init() != 0)
      return 2;
   install_timer();
   install_keyboard();
   install_sound(DIGI_NONE, MIDI_NONE, NULL);
   if (set_gfx_mode(GFX_AUTODETECT, 800, 600, 0, 0) != 0)
      return 3;
   BITMAP *fondo = create_bitmap(800, 600);
   BITMAP *coche = create_bitmap(24, 40);
   clear_to_color(fondo, 1);
   clear_to_color(coche, 2);
   RLE_SPRITE *spr = get_rle_sprite(coche);
   SAMPLE *paso = create_sample(8, 0, 22050, 100);
   RGB verde = {0, 63, 0, 0};

   blit(fondo, screen, 0, 0, 1, 1, 800, 600);
   install_int_ex(cuenta, BPS_TO_TIMER(100));
   for (int i = 0; i < 20; i++) {
      while (n <= 0)
         rest(0);
      n = 0;
      textprintf_ex(screen, font, 1, 1, 255, 9, "Vueltas:%i", i);
      textprintf_ex(screen, font, 722, 1, 255, 9, "%s", "0:0: 1");
      set_color(0, &verde);
      for (int k = 0; k < i % 3; k++) {
         blit(fondo, screen, 0, 0, 163, 90, 513, 498);
         draw_rle_sprite(screen, spr, 300 + k, 490 - i);
         play_sample(paso, 128, 128, 1000, 0);
      }
      /* Off the screen: not part of the frame. */
      draw_rle_sprite(fondo, spr, 5, 5);
      blit(coche, fondo, 0, 0, 0, 0, 24, 40);
   }
   clear_keybuf();
   return 0;
}
END_OF_MAIN()
