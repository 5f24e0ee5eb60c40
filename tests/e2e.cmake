# End-to-end tests: the real game under a private X server, played with
# injected keys, its screen compared with what tests/referencia draws.
add_executable(referencia referencia.cpp)
target_link_libraries(referencia PRIVATE PkgConfig::ALLEGRO datos_indices)

set(E2E_PYTHON /usr/bin/python3)
set(E2E_DIR ${CMAKE_CURRENT_SOURCE_DIR}/e2e)

# One ctest entry per group; each runs in a dir of its own, where a failing
# test leaves its screenshots.
function(prueba_e2e nombre guion)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/e2e/${nombre})
  file(MAKE_DIRECTORY ${dir})
  add_test(NAME e2e_${nombre}
           COMMAND ${E2E_PYTHON} ${E2E_DIR}/${guion} ${ARGN}
           WORKING_DIRECTORY ${dir})
  set_tests_properties(e2e_${nombre} PROPERTIES
    LABELS e2e
    TIMEOUT 300
    SKIP_RETURN_CODE 77
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;CARRERA=$<TARGET_FILE:carrera>;REFERENCIA=$<TARGET_FILE:referencia>;SALIDA=${CARRERA_SALIDA}")
endfunction()

prueba_e2e(titulo titulo.py)
prueba_e2e(vuelta vuelta.py)
prueba_e2e(reloj reloj.py)
prueba_e2e(ritmo ritmo.py)
prueba_e2e(cierre cierre.py)
prueba_e2e(sin_pantalla entrada.py pantalla)
prueba_e2e(datos_malos entrada.py datos)
prueba_e2e(sonido_musica sonido.py musica)
prueba_e2e(sonido_paso sonido.py paso)
# The window and fullscreen under a window manager, on a 1920x1080 and a
# 3840x2160 screen; fullscreen remembered.
prueba_e2e(ventana ventana.py pantallas)
prueba_e2e(ventana_recordada ventana.py recordada)
# On a Wayland desktop: weston, headless, with Xwayland.
prueba_e2e(wayland wayland.py)

# The Windows zip under Wine, once script/windows has made it.
prueba_e2e(wine wine.py)
set_property(TEST e2e_wine APPEND PROPERTY ENVIRONMENT
             "CARRERA_ZIP=${PROJECT_SOURCE_DIR}/build-windows/carrera-1.0-windows.zip")

# Gamepads of the tests' own (tests/mando_falso.c), preloaded into the game:
# event devices that SDL's Linux joystick code reads as a kernel's. Plain even
# in the checked builds: it comes before a sanitizer's runtime.
add_library(mando_falso MODULE mando_falso.c)
target_link_libraries(mando_falso PRIVATE dl)
set_target_properties(mando_falso PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS "")
# What SDL itself makes of them, without the game.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
add_executable(mando_sdl mando_sdl.c)
target_link_libraries(mando_sdl PRIVATE PkgConfig::SDL2)
prueba_e2e(mando mando.py)
set_property(TEST e2e_mando APPEND PROPERTY ENVIRONMENT
             "MANDO_FALSO=$<TARGET_FILE:mando_falso>;MANDO_SDL=$<TARGET_FILE:mando_sdl>")

# A keyboard for weston with no X server (tests/teclado_weston.c), a module
# loaded into weston: plain in the checked builds, as weston is.
pkg_check_modules(WESTON IMPORTED_TARGET weston libweston-10)
if(WESTON_FOUND)
  add_library(teclado_weston MODULE teclado_weston.c)
  target_link_libraries(teclado_weston PRIVATE PkgConfig::WESTON)
  set_target_properties(teclado_weston PROPERTIES PREFIX "" COMPILE_OPTIONS "-Wall;-Wextra"
                        LINK_OPTIONS "")
  set_property(TEST e2e_wayland APPEND PROPERTY ENVIRONMENT
               "TECLADO_WESTON_SO=$<TARGET_FILE:teclado_weston>")
endif()

# The race clock's hour under ThreadSanitizer: libfaketime's timed waits
# handed on to the sanitizer, which would not see them (tests/espera_vista.c).
add_library(espera_vista MODULE espera_vista.c)
target_link_libraries(espera_vista PRIVATE dl)
set_target_properties(espera_vista PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS
  "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/espera_vista.map")
set_property(TEST e2e_reloj APPEND PROPERTY ENVIRONMENT "ESPERA_VISTA=$<TARGET_FILE:espera_vista>")
