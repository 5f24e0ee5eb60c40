/* A keyboard of the tests' own for weston, which on its headless backend has
 * none: a weston module that adds a seat whose keys come from a FIFO, so they
 * reach the focused window through weston's own input path, as a real
 * keyboard's do.
 *
 *   TECLADO_WESTON=/path/fifo weston --modules=/path/teclado_weston.so ...
 *   echo "103 1" > /path/fifo     Linux key code, 1 pressed, 0 let go
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <libweston/libweston.h>

/* libweston's, exported but in a header it does not install. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *name);
int weston_seat_init_keyboard(struct weston_seat *seat, struct xkb_keymap *keymap);
void notify_key(struct weston_seat *seat, const struct timespec *time, uint32_t key,
                enum wl_keyboard_key_state state, enum weston_key_state_update update);

static struct weston_seat asiento;
static char linea[64];
static size_t lleno;

static void tecla(const char *l)
{
   unsigned codigo;
   int abajo;
   struct timespec t;

   if (sscanf(l, "%u %d", &codigo, &abajo) != 2)
      return;
   weston_compositor_get_time(&t);
   notify_key(&asiento, &t, codigo,
              abajo ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
              STATE_UPDATE_AUTOMATIC);
}

static int leer(int fd, uint32_t mascara, void *datos)
{
   char buf[256];
   ssize_t n = read(fd, buf, sizeof buf);

   (void)mascara;
   (void)datos;
   for (ssize_t i = 0; i < n; i++) {
      if (buf[i] != '\n') {
         if (lleno < sizeof linea - 1)
            linea[lleno++] = buf[i];
         continue;
      }
      linea[lleno] = 0;
      tecla(linea);
      lleno = 0;
   }
   return 0;
}

WL_EXPORT int wet_module_init(struct weston_compositor *ec, int *argc, char *argv[])
{
   const char *ruta = getenv("TECLADO_WESTON");
   int fd;

   (void)argc;
   (void)argv;
   if (!ruta) {
      weston_log("teclado_weston: TECLADO_WESTON names no FIFO\n");
      return -1;
   }
   /* Read and write, so the FIFO stays open between the tests' writers. */
   fd = open(ruta, O_RDWR | O_NONBLOCK | O_CLOEXEC);
   if (fd < 0) {
      weston_log("teclado_weston: cannot open %s\n", ruta);
      return -1;
   }
   weston_seat_init(&asiento, ec, "teclado");
   if (weston_seat_init_keyboard(&asiento, NULL) < 0)
      return -1;
   wl_event_loop_add_fd(wl_display_get_event_loop(ec->wl_display), fd, WL_EVENT_READABLE,
                        leer, NULL);
   weston_log("teclado_weston: keys from %s\n", ruta);
   return 0;
}
