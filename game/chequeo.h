#pragma once
#include <allegro.h>

// Looks at a datafile before Allegro's loader does, since the loader crashes
// on damaged files. Returns NULL when the file can be loaded safely, or a
// message that names the file and what is wrong with it.
const char *chequeo_fichero(const char *nombre);

// After loading: NULL when the eight entries have the types and sizes the
// game draws and plays, or a message naming the file and the fault.
const char *chequeo_datos(DATAFILE *datos, const char *nombre);
