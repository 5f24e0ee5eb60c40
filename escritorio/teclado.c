/* The desktop's keyboard, on SDL. The event thread (sistema.c) hears the
 * window's keys and hands each one straight to Allegro's key handlers, by
 * where it sits on the keyboard (SDL's scancodes made Allegro's), so key[]
 * and the key buffer fill as they always did and the game's key callback
 * runs, which wakes its wait; the character for readkey() comes from the
 * key's symbol. A held key is one press: SDL's repeats are not passed.
 * Alt+Enter and F11 are the window's own (fullscreen, pantalla.c) and never
 * reach the game. When the window loses the keyboard, every key is let go. */
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include "escritorio.h"

static SDL_atomic_t abierto;  /* set on the game's thread, read on the event thread */
static unsigned char propias[SDL_NUM_SCANCODES];  /* taken by the window, down now */

/* SDL's scancodes that are not in runs, and Allegro's for them. */
static const struct { SDL_Scancode sdl; int allegro; } nombres[] = {
   {SDL_SCANCODE_0, KEY_0}, {SDL_SCANCODE_ESCAPE, KEY_ESC},
   {SDL_SCANCODE_GRAVE, KEY_TILDE}, {SDL_SCANCODE_MINUS, KEY_MINUS},
   {SDL_SCANCODE_EQUALS, KEY_EQUALS}, {SDL_SCANCODE_BACKSPACE, KEY_BACKSPACE},
   {SDL_SCANCODE_TAB, KEY_TAB}, {SDL_SCANCODE_LEFTBRACKET, KEY_OPENBRACE},
   {SDL_SCANCODE_RIGHTBRACKET, KEY_CLOSEBRACE}, {SDL_SCANCODE_RETURN, KEY_ENTER},
   {SDL_SCANCODE_SEMICOLON, KEY_COLON}, {SDL_SCANCODE_APOSTROPHE, KEY_QUOTE},
   {SDL_SCANCODE_BACKSLASH, KEY_BACKSLASH}, {SDL_SCANCODE_NONUSBACKSLASH, KEY_BACKSLASH2},
   {SDL_SCANCODE_COMMA, KEY_COMMA}, {SDL_SCANCODE_PERIOD, KEY_STOP},
   {SDL_SCANCODE_SLASH, KEY_SLASH}, {SDL_SCANCODE_SPACE, KEY_SPACE},
   {SDL_SCANCODE_INSERT, KEY_INSERT}, {SDL_SCANCODE_DELETE, KEY_DEL},
   {SDL_SCANCODE_HOME, KEY_HOME}, {SDL_SCANCODE_END, KEY_END},
   {SDL_SCANCODE_PAGEUP, KEY_PGUP}, {SDL_SCANCODE_PAGEDOWN, KEY_PGDN},
   {SDL_SCANCODE_LEFT, KEY_LEFT}, {SDL_SCANCODE_RIGHT, KEY_RIGHT},
   {SDL_SCANCODE_UP, KEY_UP}, {SDL_SCANCODE_DOWN, KEY_DOWN},
   {SDL_SCANCODE_KP_0, KEY_0_PAD}, {SDL_SCANCODE_KP_DIVIDE, KEY_SLASH_PAD},
   {SDL_SCANCODE_KP_MULTIPLY, KEY_ASTERISK}, {SDL_SCANCODE_KP_MINUS, KEY_MINUS_PAD},
   {SDL_SCANCODE_KP_PLUS, KEY_PLUS_PAD}, {SDL_SCANCODE_KP_PERIOD, KEY_DEL_PAD},
   {SDL_SCANCODE_KP_ENTER, KEY_ENTER_PAD}, {SDL_SCANCODE_PRINTSCREEN, KEY_PRTSCR},
   {SDL_SCANCODE_PAUSE, KEY_PAUSE}, {SDL_SCANCODE_KP_EQUALS, KEY_EQUALS_PAD},
   {SDL_SCANCODE_LSHIFT, KEY_LSHIFT}, {SDL_SCANCODE_RSHIFT, KEY_RSHIFT},
   {SDL_SCANCODE_LCTRL, KEY_LCONTROL}, {SDL_SCANCODE_RCTRL, KEY_RCONTROL},
   {SDL_SCANCODE_LALT, KEY_ALT}, {SDL_SCANCODE_RALT, KEY_ALTGR},
   {SDL_SCANCODE_LGUI, KEY_LWIN}, {SDL_SCANCODE_RGUI, KEY_RWIN},
   {SDL_SCANCODE_APPLICATION, KEY_MENU}, {SDL_SCANCODE_SCROLLLOCK, KEY_SCRLOCK},
   {SDL_SCANCODE_NUMLOCKCLEAR, KEY_NUMLOCK}, {SDL_SCANCODE_CAPSLOCK, KEY_CAPSLOCK},
};

static int de_allegro(SDL_Scancode s)
{
   if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z)
      return KEY_A + (s - SDL_SCANCODE_A);
   if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9)
      return KEY_1 + (s - SDL_SCANCODE_1);
   if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12)
      return KEY_F1 + (s - SDL_SCANCODE_F1);
   if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_9)
      return KEY_1_PAD + (s - SDL_SCANCODE_KP_1);
   for (size_t i = 0; i < sizeof nombres / sizeof nombres[0]; i++)
      if (nombres[i].sdl == s)
         return nombres[i].allegro;
   return 0;
}

/* The character a key gives, enough for readkey(): 0 for one that gives none. */
static int caracter(const SDL_Keysym *k)
{
   SDL_Keycode c = k->sym;
   if (k->scancode == SDL_SCANCODE_KP_ENTER)
      return '\r';
   if (c >= 'a' && c <= 'z' && (k->mod & (KMOD_SHIFT | KMOD_CAPS)))
      return c - 'a' + 'A';
   if (c == '\r' || c == '\b' || c == '\t' || c == 27 || (c >= 32 && c < 127))
      return c;
   return 0;
}

void teclado_tecla(int scancode, int ascii, int abajo)
{
   if (!SDL_AtomicGet(&abierto) || scancode <= 0)
      return;
   if (abajo)
      _handle_key_press(ascii, scancode);
   else
      _handle_key_release(scancode);
}

void teclado_evento(const SDL_Event *e)
{
   const SDL_Keysym *k = &e->key.keysym;
   if (k->scancode >= SDL_NUM_SCANCODES)
      return;
   if (e->type == SDL_KEYDOWN) {
      int entrar = k->scancode == SDL_SCANCODE_RETURN || k->scancode == SDL_SCANCODE_KP_ENTER;
      if ((entrar && (k->mod & KMOD_ALT)) || k->scancode == SDL_SCANCODE_F11) {
         if (!e->key.repeat)
            pantalla_completa_cambiar();
         propias[k->scancode] = 1;
         return;
      }
      /* Shift, Ctrl, Alt and the like alone put nothing in the buffer, so
       * the Alt of Alt+Enter does not pass the title or a page. */
      int t = de_allegro(k->scancode);
      if (!e->key.repeat)
         teclado_tecla(t, t >= KEY_MODIFIERS ? -1 : caracter(k), 1);
   } else {
      if (propias[k->scancode]) {
         propias[k->scancode] = 0;
         return;
      }
      teclado_tecla(de_allegro(k->scancode), 0, 0);
   }
}

void teclado_soltar_todo(void)
{
   if (!SDL_AtomicGet(&abierto))
      return;
   for (int i = 1; i < KEY_MAX; i++)
      if (key[i])
         _handle_key_release(i);
   SDL_memset(propias, 0, sizeof propias);
}

static int abrir(void)
{
   SDL_AtomicSet(&abierto, 1);
   return 0;
}

static void cerrar(void)
{
   SDL_AtomicSet(&abierto, 0);
}

KEYBOARD_DRIVER keyboard_sdl = {
   .id = KEYBOARD_SDL,
   .name = EMPTY_STRING,
   .desc = EMPTY_STRING,
   .ascii_name = "Teclado (SDL)",
   .autorepeat = FALSE,
   .init = abrir,
   .exit = cerrar,
};
