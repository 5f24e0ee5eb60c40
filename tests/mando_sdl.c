/* What SDL makes of the pads that tests/mando_falso.c stands in for, for
 * tests/e2e/mando.py: "listo" once SDL's game controllers are up, then a
 * line for each pad opened (its name in SDL's database), each button and
 * axis it moves, in SDL's names, and each pad gone; until stdin closes. */
#include <SDL.h>
#include <poll.h>
#include <stdio.h>

int main(void)
{
   if (SDL_Init(SDL_INIT_GAMECONTROLLER) < 0) {
      fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
      return 1;
   }
   setvbuf(stdout, NULL, _IOLBF, 0);
   puts("listo");
   struct pollfd entrada = {0, POLLIN, 0};
   while (poll(&entrada, 1, 0) == 0) {
      SDL_Event e;
      if (!SDL_WaitEventTimeout(&e, 20))
         continue;
      switch (e.type) {
      case SDL_CONTROLLERDEVICEADDED: {
         SDL_GameController *c = SDL_GameControllerOpen(e.cdevice.which);
         printf("mando %d %s\n", SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c)),
                SDL_GameControllerName(c));
         break;
      }
      case SDL_CONTROLLERDEVICEREMOVED:
         printf("fuera %d\n", e.cdevice.which);
         SDL_GameControllerClose(SDL_GameControllerFromInstanceID(e.cdevice.which));
         break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
         printf("boton %d %s %d\n", e.cbutton.which,
                SDL_GameControllerGetStringForButton(e.cbutton.button), e.cbutton.state);
         break;
      case SDL_CONTROLLERAXISMOTION:
         printf("eje %d %s %d\n", e.caxis.which,
                SDL_GameControllerGetStringForAxis(e.caxis.axis), e.caxis.value);
         break;
      }
   }
   SDL_Quit();
   return 0;
}
