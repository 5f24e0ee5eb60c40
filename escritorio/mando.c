/* Gamepads as keys, on SDL's game controllers. The event thread
 * (sistema.c) opens every pad SDL knows, at the start and whenever one is
 * plugged in, and turns what each one holds into Allegro's keys
 * (cuentas.h): the left stick past half its travel and the d-pad are the
 * arrows, A, B, X and Y Return, Start Space; the rest does nothing. It
 * follows SDL's events one by one, not what a pad holds when they are
 * read, so a button pressed and let go between two reads is still a key
 * pressed and let go, which passes a page. A pad pulled out, or the
 * window left, lets go of all it held. SDL's own list
 * of pads is used, and mandos.txt beside the game may add lines of SDL's
 * mapping format for others. The game sees pads only as keys. */
#include <allegro.h>

#include "cuentas.h"
#include "escritorio.h"

SDL_COMPILE_TIME_ASSERT(start, BOTON_START == 1 << SDL_CONTROLLER_BUTTON_START);
SDL_COMPILE_TIME_ASSERT(cruceta, BOTON_ARRIBA == 1 << SDL_CONTROLLER_BUTTON_DPAD_UP &&
                        BOTON_DERECHA == 1 << SDL_CONTROLLER_BUTTON_DPAD_RIGHT);

#define MANDOS 8
static struct {
   SDL_GameController *m;
   SDL_JoystickID id;
   unsigned botones;  /* held, as SDL's events last said */
   int x, y;          /* the left stick, likewise */
   unsigned teclas;   /* cuentas.h's bits, as given to Allegro */
} mandos[MANDOS];

/* Each of cuentas.h's bits, and its key and character. */
static const struct { unsigned bit; int tecla, caracter; } teclas[] = {
   {MANDO_ARRIBA, KEY_UP, 0}, {MANDO_ABAJO, KEY_DOWN, 0},
   {MANDO_IZQUIERDA, KEY_LEFT, 0}, {MANDO_DERECHA, KEY_RIGHT, 0},
   {MANDO_ENTRAR, KEY_ENTER, '\r'}, {MANDO_ESPACIO, KEY_SPACE, ' '},
};

static void poner(int i, unsigned nuevas)
{
   unsigned antes = mandos[i].teclas;
   mandos[i].teclas = nuevas;
   for (size_t k = 0; k < sizeof teclas / sizeof teclas[0]; k++)
      if ((antes ^ nuevas) & teclas[k].bit)
         teclado_tecla(teclas[k].tecla, teclas[k].caracter, (nuevas & teclas[k].bit) != 0);
}

static void poner_mando(int i)
{
   poner(i, teclas_mando(mandos[i].x, mandos[i].y, mandos[i].botones));
}

/* What a pad holds as it is opened; from then on its events say. */
static void leer(int i)
{
   SDL_GameController *m = mandos[i].m;
   mandos[i].botones = 0;
   for (int b = 0; b <= SDL_CONTROLLER_BUTTON_DPAD_RIGHT; b++)
      if (SDL_GameControllerGetButton(m, b))
         mandos[i].botones |= 1u << b;
   mandos[i].x = SDL_GameControllerGetAxis(m, SDL_CONTROLLER_AXIS_LEFTX);
   mandos[i].y = SDL_GameControllerGetAxis(m, SDL_CONTROLLER_AXIS_LEFTY);
   poner_mando(i);
}

static int buscar(SDL_JoystickID id)
{
   for (int i = 0; i < MANDOS; i++)
      if (mandos[i].m && mandos[i].id == id)
         return i;
   return -1;
}

void mando_abrir(void)
{
   /* Named before SDL looks for pads: lines added after it has looked do
    * not make a pad already plugged in a game controller. */
   char *base = SDL_GetBasePath();
   if (base) {
      char ruta[1024];
      SDL_snprintf(ruta, sizeof ruta, "%smandos.txt", base);
      SDL_SetHint(SDL_HINT_GAMECONTROLLERCONFIG_FILE, ruta);
      SDL_free(base);
   }
   SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void mando_cerrar(void)
{
   for (int i = 0; i < MANDOS; i++)
      if (mandos[i].m) {
         poner(i, 0);
         SDL_GameControllerClose(mandos[i].m);
         mandos[i].m = NULL;
      }
}

void mando_soltar_todo(void)
{
   for (int i = 0; i < MANDOS; i++)
      mandos[i].teclas = 0;
}

int mando_abiertos(void)
{
   int n = 0;
   for (int i = 0; i < MANDOS; i++)
      n += mandos[i].m != NULL;
   return n;
}

void mando_evento(const SDL_Event *e)
{
   int i;
   switch (e->type) {
   case SDL_CONTROLLERDEVICEADDED: {
      SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(e->cdevice.which);
      if (buscar(id) >= 0)
         return;
      for (i = 0; i < MANDOS && mandos[i].m; i++)
         ;
      if (i == MANDOS)
         return;
      mandos[i].m = SDL_GameControllerOpen(e->cdevice.which);
      mandos[i].id = id;
      mandos[i].teclas = 0;
      if (mandos[i].m)
         leer(i);
      break;
   }
   case SDL_CONTROLLERDEVICEREMOVED:
      i = buscar(e->cdevice.which);
      if (i >= 0) {
         poner(i, 0);
         SDL_GameControllerClose(mandos[i].m);
         mandos[i].m = NULL;
      }
      break;
   case SDL_CONTROLLERBUTTONDOWN:
   case SDL_CONTROLLERBUTTONUP:
      i = buscar(e->cbutton.which);
      if (i < 0 || e->cbutton.button > SDL_CONTROLLER_BUTTON_DPAD_RIGHT)
         return;
      if (e->cbutton.state == SDL_PRESSED)
         mandos[i].botones |= 1u << e->cbutton.button;
      else
         mandos[i].botones &= ~(1u << e->cbutton.button);
      poner_mando(i);
      break;
   case SDL_CONTROLLERAXISMOTION:
      i = buscar(e->caxis.which);
      if (i < 0)
         return;
      if (e->caxis.axis == SDL_CONTROLLER_AXIS_LEFTX)
         mandos[i].x = e->caxis.value;
      else if (e->caxis.axis == SDL_CONTROLLER_AXIS_LEFTY)
         mandos[i].y = e->caxis.value;
      else
         return;
      poner_mando(i);
      break;
   }
}
