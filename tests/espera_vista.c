/* For the race clock's hour under ThreadSanitizer (tests/e2e/reloj.py):
 * libfaketime's pthread_cond_timedwait calls glibc's by its version
 * (GLIBC_2.3.2), past ThreadSanitizer's unversioned one, so the sanitizer
 * never sees a timed wait let go of its mutex and calls the next lock of it
 * from another thread a double lock. Preloaded after libfaketime, this one
 * has that version and hands the call on to the next in line, the
 * sanitizer's, which then sees the wait and calls glibc's. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>

static int (*siguiente)(pthread_cond_t *, pthread_mutex_t *, const struct timespec *);

/* Found once, before the game's threads start. */
__attribute__((constructor)) static void buscar(void)
{
   *(void **)&siguiente = dlsym(RTLD_NEXT, "pthread_cond_timedwait");
}

int pthread_cond_timedwait(pthread_cond_t *c, pthread_mutex_t *m, const struct timespec *t)
{
   return siguiente(c, m, t);
}
