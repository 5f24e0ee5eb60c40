#include "espera.h"

// No allegro.h here: on Windows it would clash with windows.h.
#ifdef _WIN32
#include <windows.h>
#elif !defined __EMSCRIPTEN__
#include <chrono>
#include <condition_variable>
#include <mutex>
#endif

const int espera_max_ms = 100;

#ifdef _WIN32
// The static mingw build has win32 threads, without std::mutex: an
// auto-reset event keeps a wake until the wait takes it.
static HANDLE evento = CreateEventW(nullptr, FALSE, FALSE, nullptr);

void avisar()
{
   SetEvent(evento);
}

void esperar()
{
   WaitForSingleObject(evento, espera_max_ms);
}
#elif defined __EMSCRIPTEN__
// The browser: the game has the page's one thread, and its wait gives it
// back to the page, which runs Allegro's timer, keys and sound meanwhile.
extern "C" void web_avisar();
extern "C" void web_esperar(int ms);

void avisar()
{
   web_avisar();
}

void esperar()
{
   web_esperar(espera_max_ms);
}
#else
static std::mutex cerrojo;
static std::condition_variable aviso;
static bool avisado = false;

void avisar()
{
   {
      std::lock_guard<std::mutex> l(cerrojo);
      avisado = true;
   }
   aviso.notify_one();
}

void esperar()
{
   std::unique_lock<std::mutex> l(cerrojo);
   aviso.wait_for(l, std::chrono::milliseconds(espera_max_ms), [] { return avisado; });
   avisado = false;
}
#endif
