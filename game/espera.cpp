#include "espera.h"

// No allegro.h here: on Windows it would clash with windows.h.
#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#endif

#ifdef __EMSCRIPTEN__
extern "C" void web_espera(int esperando);
#endif

#ifdef _WIN32
// The static mingw build has win32 threads, without std::mutex: an
// auto-reset event keeps a wake until the wait takes it.
static HANDLE evento = CreateEventW(nullptr, FALSE, FALSE, nullptr);

void avisar()
{
   SetEvent(evento);
}

void esperar(int ms)
{
   WaitForSingleObject(evento, ms);
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

void esperar(int ms)
{
#ifdef __EMSCRIPTEN__
   web_espera(1);  // the page paints the frame that ends here
#endif
   {
      std::unique_lock<std::mutex> l(cerrojo);
      aviso.wait_for(l, std::chrono::milliseconds(ms), [] { return avisado; });
      avisado = false;
   }
#ifdef __EMSCRIPTEN__
   web_espera(0);  // the next frame begins: the page keeps its last whole one
#endif
}
#endif
