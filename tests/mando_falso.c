/* Gamepads for machines without one, preloaded (tests/e2e/mando.py) into the
 * game or any SDL program: they reach SDL's own Linux joystick code as the
 * kernel's event devices would.
 *
 * Simulated: the kernel's side. Paths under /dev/input go to the folder
 * MANDO_ENTRADA names (open, stat, scandir, inotify_add_watch), so a FIFO
 * made there as eventN is a pad plugged in, seen by SDL's inotify watch or
 * its first scan, and removing it pulls the pad out (reads then fail with
 * ENODEV, as an unplugged device's do). The test writes the driver's struct
 * input_event records into the FIFO; SDL reads them as they are. What a
 * FIFO cannot answer is answered here from eventN.mando beside it, the
 * test's description of the pad as its Linux driver registers it:
 *   nombre Microsoft X-Box 360 pad
 *   id 3 045e 028e 0114           bus, vendor, product, version (hex)
 *   teclas 130 131 ...           key codes (hex)
 *   eje 0 -32768 32767 16 128 0  code (hex), min, max, fuzz, flat, value
 *   ff 50 51 ...                 force-feedback bits (hex)
 * that is the ioctls EVIOCGVERSION, EVIOCGID, EVIOCGNAME, EVIOCGBIT,
 * EVIOCGABS and EVIOCGKEY, which give the pad as it is plugged in: at rest,
 * nothing held; and stat's device number, by which SDL tells two pads
 * apart. Rumble is refused; the joystick API's own ioctls (js*) fail, as
 * on an event device.
 * Real: all of SDL from there on (which devices are pads, its database,
 * mapping lines, hotplug events, axis scaling, letting go of a pad pulled
 * out) and the game. Not udev: SDL is told to do without it
 * (SDL_JOYSTICK_DISABLE_UDEV), as it does in a container. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#define largo(n) (((n) + 8) / 8)

struct pad {
   int usado, fd;
   char nombre[128];
   struct input_id id;
   unsigned char teclas[largo(KEY_MAX)], ejes[largo(ABS_MAX)], ff[largo(FF_MAX)];
   struct input_absinfo eje[ABS_CNT];
};

// The pads' open descriptors; SDL holds one or two a pad.
static struct pad pads[16];

static void *siguiente(const char *f)
{
   void *p = dlsym(RTLD_NEXT, f);
   if (!p)
      abort();
   return p;
}

static void poner(unsigned char *bits, unsigned n)
{
   bits[n / 8] |= 1 << (n % 8);
}

// /dev/input and what is in it, moved to the test's folder; NULL otherwise.
static const char *mover(const char *ruta, char *buf, size_t n)
{
   const char *dir = getenv("MANDO_ENTRADA");
   if (!dir || !ruta || strncmp(ruta, "/dev/input", 10) != 0 ||
       (ruta[10] != 0 && ruta[10] != '/'))
      return NULL;
   snprintf(buf, n, "%s%s", dir, ruta + 10);
   return buf;
}

static void leer_pad(const char *ruta, int fd)
{
   struct pad *p = NULL;
   for (size_t i = 0; i < sizeof pads / sizeof pads[0] && !p; i++)
      if (!pads[i].usado)
         p = &pads[i];
   char nombre[4096], linea[1024];
   snprintf(nombre, sizeof nombre, "%s.mando", ruta);
   FILE *f = p ? fopen(nombre, "r") : NULL;
   if (!f)
      return;
   memset(p, 0, sizeof *p);
   p->fd = fd;
   while (fgets(linea, sizeof linea, f)) {
      char *resto = strchr(linea, ' ');
      if (!resto)
         continue;
      *resto++ = 0;
      unsigned bus, ven, pro, ver, c;
      int min, max, fuzz, flat, valor, k;
      if (!strcmp(linea, "nombre")) {
         resto[strcspn(resto, "\n")] = 0;
         snprintf(p->nombre, sizeof p->nombre, "%s", resto);
      } else if (!strcmp(linea, "id") &&
                 sscanf(resto, "%x %x %x %x", &bus, &ven, &pro, &ver) == 4) {
         p->id = (struct input_id){bus, ven, pro, ver};
      } else if (!strcmp(linea, "teclas") || !strcmp(linea, "ff")) {
         unsigned char *bits = linea[0] == 't' ? p->teclas : p->ff;
         unsigned tope = linea[0] == 't' ? KEY_MAX : FF_MAX;
         for (; sscanf(resto, "%x%n", &c, &k) == 1; resto += k)
            if (c <= tope)
               poner(bits, c);
      } else if (!strcmp(linea, "eje") &&
                 sscanf(resto, "%x %d %d %d %d %d", &c, &min, &max, &fuzz, &flat,
                        &valor) == 6 && c <= ABS_MAX) {
         poner(p->ejes, c);
         p->eje[c] = (struct input_absinfo){valor, min, max, fuzz, flat, 0};
      }
   }
   fclose(f);
   p->usado = 1;
}

static struct pad *pad(int fd)
{
   for (size_t i = 0; i < sizeof pads / sizeof pads[0]; i++)
      if (pads[i].usado && pads[i].fd == fd)
         return &pads[i];
   return NULL;
}

// As the C library decides whether open was given a mode.
static int pide_permisos(int modo)
{
   return (modo & O_CREAT) || (modo & O_TMPFILE) == O_TMPFILE;
}

int open(const char *ruta, int modo, ...)
{
   static int (*real)(const char *, int, ...);
   if (!real)
      real = siguiente("open");
   va_list a;
   va_start(a, modo);
   mode_t permisos = pide_permisos(modo) ? va_arg(a, mode_t) : 0;
   va_end(a);
   char buf[4096];
   const char *otra = mover(ruta, buf, sizeof buf);
   int fd = real(otra ? otra : ruta, modo, permisos);
   if (otra && fd >= 0)
      leer_pad(otra, fd);
   return fd;
}

int open64(const char *ruta, int modo, ...)
{
   va_list a;
   va_start(a, modo);
   mode_t permisos = pide_permisos(modo) ? va_arg(a, mode_t) : 0;
   va_end(a);
   return open(ruta, modo, permisos);
}

int close(int fd)
{
   static int (*real)(int);
   if (!real)
      real = siguiente("close");
   struct pad *p = pad(fd);
   if (p)
      p->usado = 0;
   return real(fd);
}

// An event device's node is a character device of its own number; a FIFO
// has none, and SDL takes two nodes of one number for one pad.
int stat(const char *ruta, struct stat *st)
{
   static int (*real)(const char *, struct stat *);
   if (!real)
      real = siguiente("stat");
   char buf[4096];
   const char *otra = mover(ruta, buf, sizeof buf);
   int r = real(otra ? otra : ruta, st);
   const char *base = otra ? strrchr(otra, '/') : NULL;
   if (r == 0 && base && S_ISFIFO(st->st_mode) && !strncmp(base, "/event", 6)) {
      st->st_mode = (st->st_mode & ~S_IFMT) | S_IFCHR;
      st->st_rdev = makedev(13, 64 + atoi(base + 6));
   }
   return r;
}

int scandir(const char *dir, struct dirent ***lista, int (*filtro)(const struct dirent *),
            int (*orden)(const struct dirent **, const struct dirent **))
{
   static int (*real)(const char *, struct dirent ***, int (*)(const struct dirent *),
                      int (*)(const struct dirent **, const struct dirent **));
   if (!real)
      real = siguiente("scandir");
   char buf[4096];
   const char *otra = mover(dir, buf, sizeof buf);
   return real(otra ? otra : dir, lista, filtro, orden);
}

int inotify_add_watch(int fd, const char *ruta, uint32_t mascara)
{
   static int (*real)(int, const char *, uint32_t);
   if (!real)
      real = siguiente("inotify_add_watch");
   char buf[4096];
   const char *otra = mover(ruta, buf, sizeof buf);
   return real(fd, otra ? otra : ruta, mascara);
}

// A pad pulled out: its node is gone, and the kernel says so to a reader.
ssize_t read(int fd, void *datos, size_t n)
{
   static ssize_t (*real)(int, void *, size_t);
   if (!real)
      real = siguiente("read");
   ssize_t r = real(fd, datos, n);
   struct stat st;
   if (r <= 0 && pad(fd) && fstat(fd, &st) == 0 && st.st_nlink == 0) {
      errno = ENODEV;
      return -1;
   }
   return r;
}

static int copiar(void *arg, unsigned tam, const void *de, unsigned n)
{
   memset(arg, 0, tam);
   memcpy(arg, de, n < tam ? n : tam);
   return n < tam ? n : tam;
}

static int responder(struct pad *p, unsigned long pide, void *arg)
{
   unsigned nr = _IOC_NR(pide), tam = _IOC_SIZE(pide);
   unsigned char nada[largo(KEY_MAX)] = {0};
   if (_IOC_TYPE(pide) != 'E' || _IOC_DIR(pide) != _IOC_READ) {
      errno = _IOC_TYPE(pide) == 'E' ? ENOSYS : ENOTTY;
      return -1;
   }
   if (pide == EVIOCGVERSION)
      return *(int *)arg = EV_VERSION, 0;
   if (pide == EVIOCGID)
      return *(struct input_id *)arg = p->id, 0;
   if (nr == _IOC_NR(EVIOCGNAME(0)))
      return copiar(arg, tam, p->nombre, strlen(p->nombre) + 1);
   if (nr == _IOC_NR(EVIOCGKEY(0)))
      return copiar(arg, tam, nada, sizeof p->teclas);
   if (nr >= _IOC_NR(EVIOCGABS(0)) && nr <= _IOC_NR(EVIOCGABS(ABS_MAX))) {
      unsigned c = nr - _IOC_NR(EVIOCGABS(0));
      if (!(p->ejes[c / 8] & 1 << (c % 8))) {
         errno = EINVAL;
         return -1;
      }
      return copiar(arg, tam, &p->eje[c], sizeof p->eje[c]), 0;
   }
   if (nr == _IOC_NR(EVIOCGBIT(0, 0))) {
      unsigned char tipos[largo(EV_MAX)] = {0};
      poner(tipos, EV_SYN);
      poner(tipos, EV_KEY);
      poner(tipos, EV_ABS);
      for (unsigned i = 0; i < sizeof p->ff; i++)
         if (p->ff[i])
            poner(tipos, EV_FF);
      return copiar(arg, tam, tipos, sizeof tipos);
   }
   if (nr == _IOC_NR(EVIOCGBIT(EV_KEY, 0)))
      return copiar(arg, tam, p->teclas, sizeof p->teclas);
   if (nr == _IOC_NR(EVIOCGBIT(EV_ABS, 0)))
      return copiar(arg, tam, p->ejes, sizeof p->ejes);
   if (nr == _IOC_NR(EVIOCGBIT(EV_FF, 0)))
      return copiar(arg, tam, p->ff, sizeof p->ff);
   if (nr > _IOC_NR(EVIOCGBIT(0, 0)) && nr <= _IOC_NR(EVIOCGBIT(EV_MAX, 0)))
      return copiar(arg, tam, nada, 0);
   // The physical path, the serial, the LEDs and the rest: none.
   errno = ENOENT;
   return -1;
}

int ioctl(int fd, unsigned long pide, ...)
{
   va_list a;
   va_start(a, pide);
   void *arg = va_arg(a, void *);
   va_end(a);
   struct pad *p = pad(fd);
   if (p)
      return responder(p, pide, arg);
   static int (*real)(int, unsigned long, void *);
   if (!real)
      real = siguiente("ioctl");
   return real(fd, pide, arg);
}
