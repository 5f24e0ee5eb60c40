#pragma once
// The game's one wait: the main thread sleeps until a tick, a key or the
// close button wakes it, and keeps no core busy meanwhile.

// Wakes the wait; a wake that comes before the wait is kept for it. Safe on
// Allegro's timer, keyboard and window threads.
void avisar();

// Sleeps until the next wake, or ms milliseconds at most (a tenth of a
// second unless told, should a wake ever go astray); the caller looks again
// at what it waits for.
void esperar(int ms = 100);
