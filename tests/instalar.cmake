# Installing and packing the game: installs into temporary places and plays
# the installed command on a private X server; builds the .deb and reads it
# back. instalar_apt installs the .deb for real and removes it again: it runs
# only with CARRERA_APT=1 in its environment, as root (skipped otherwise).
set(guiones ${CMAKE_CURRENT_SOURCE_DIR}/instalar)
find_program(BASH bash REQUIRED)

function(prueba_instalar nombre)
  add_test(NAME instalar_${nombre} COMMAND ${BASH} ${ARGN})
  set_tests_properties(instalar_${nombre} PROPERTIES
    LABELS instalar TIMEOUT 300 SKIP_RETURN_CODE 77)
endfunction()

prueba_instalar(prefijo ${guiones}/instalado.sh ${CMAKE_BINARY_DIR} prefijo)
prueba_instalar(destdir ${guiones}/instalado.sh ${CMAKE_BINARY_DIR} destdir)
prueba_instalar(paquete ${guiones}/paquete.sh ${CMAKE_BINARY_DIR})
prueba_instalar(apt ${guiones}/apt.sh ${CMAKE_BINARY_DIR})
# Both build the .deb in the same build tree.
set_tests_properties(instalar_paquete instalar_apt PROPERTIES RESOURCE_LOCK cpack)
