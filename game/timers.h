#pragma once
#include <atomic>

// Shared with Allegro's timer thread: c counts frame ticks, crh:crm:crs is
// the race clock. Atomic so that the plain loads, adds and stores of the
// game are free of data races; they start at zero with the program.
extern std::atomic<int> c, crs, crm, crh;

void temp();   // 100 times a second
void crono();  // once a second

// Installs both callbacks; they run until Allegro shuts down at exit.
void instalar_timers();
