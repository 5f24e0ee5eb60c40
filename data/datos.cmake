# Packs datos.dat with Allegro's dat, one object at a time in the order the
# game reads them, names each one as its macro in datos.h, and checks that
# the header came out as the game expects.
#   cmake -DDAT=dat -DFUENTES=dir -DSALIDA=datos.dat -DCABECERA=datos.h -P datos.cmake

# name:dat type:source file; the index is the place in this list.
set(objetos
  "MUSICA:MIDI:musica.mid"
  "COCHE_ABAJO:RLE:coche_abajo.pcx"
  "COCHE_IZQUIERDA:RLE:coche_izquierda.pcx"
  "COCHE_DERECHA:RLE:coche_derecha.pcx"
  "COCHE_ARRIBA:RLE:coche_arriba.pcx"
  "MOTOR:SAMP:motor.wav"
  "PISTA:BMP:pista.pcx"
  "TITULO:BMP:titulo.pcx")

function(dat)
  execute_process(COMMAND ${DAT} ${ARGN} RESULT_VARIABLE r OUTPUT_QUIET)
  if(NOT r EQUAL 0)
    message(FATAL_ERROR "dat ${ARGN}: ${r}")
  endif()
endfunction()

# Built aside and moved in at the end, so a failure leaves no half file.
set(nuevo ${SALIDA}.nuevo)
file(REMOVE ${nuevo})
foreach(o IN LISTS objetos)
  string(REPLACE ":" ";" o ${o})
  list(GET o 0 nombre)
  list(GET o 1 tipo)
  list(GET o 2 fichero)
  # -n0 keeps the order of adding; dat names the object after the file
  # (pista.pcx -> PISTA_PCX), and the NAME property renames it.
  dat(-n0 -c0 -bpp 8 ${nuevo} -t ${tipo} -a ${FUENTES}/${fichero})
  string(TOUPPER ${fichero} viejo)
  string(REPLACE "." "_" viejo ${viejo})
  dat(-n0 -c0 ${nuevo} ${viejo} NAME=${nombre})
endforeach()
# Drop the grabber's notes (source paths, dates): only names stay.
dat(-n0 -c0 -s1 ${nuevo})
dat(${nuevo} -h ${CABECERA}.nuevo)

# The header as the game needs it: each name at its place, nothing else.
file(STRINGS ${CABECERA}.nuevo lineas REGEX "^#define")
list(LENGTH lineas n)
list(LENGTH objetos esperado)
if(NOT n EQUAL esperado)
  message(FATAL_ERROR "datos.h has ${n} entries, not ${esperado}")
endif()
set(i 0)
foreach(o IN LISTS objetos)
  string(REPLACE ":" ";" o ${o})
  list(GET o 0 nombre)
  list(GET lineas ${i} l)
  if(NOT l MATCHES "^#define ${nombre} +${i} ")
    message(FATAL_ERROR "datos.h: entry ${i} should be ${nombre}: ${l}")
  endif()
  math(EXPR i "${i} + 1")
endforeach()

# The date line would make the game rebuild for nothing.
file(READ ${CABECERA}.nuevo texto)
string(REGEX REPLACE "/\\* Date: [^\n]*\n" "" texto "${texto}")
string(REGEX REPLACE "/\\* Datafile: [^\n]*" "/* Datafile: datos.dat */" texto "${texto}")
file(WRITE ${CABECERA} "${texto}")
file(REMOVE ${CABECERA}.nuevo)
file(RENAME ${nuevo} ${SALIDA})
