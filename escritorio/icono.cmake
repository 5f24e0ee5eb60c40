# Writes the window's icon, raw RGBA bytes, as a C header:
#   cmake -DRGBA=icono.rgba -DTAM=48 -DH=carrera_icono.h -P icono.cmake
file(READ ${RGBA} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR esperado "${TAM} * ${TAM} * 8")
if(NOT n EQUAL esperado)
  message(FATAL_ERROR "${RGBA}: ${n} hex digits, expected ${esperado}")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${H} "/* The car, the window's icon: ${TAM}x${TAM} RGBA, made by the build. */\n"
  "#define CARRERA_ICONO ${TAM}\n"
  "static const unsigned char carrera_icono[${TAM} * ${TAM} * 4] = {\n${bytes}};\n")
