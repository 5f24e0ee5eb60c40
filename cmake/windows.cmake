# The Windows game: the same sources against the static Allegro that
# script/windows builds, and the datafile, patches and icon that the Linux
# build made (the datafile is the same file on both).
set(CARRERA_LINUX "" CACHE PATH "the Linux build that made datos.dat and the icons")
if(NOT EXISTS ${CARRERA_LINUX}/data/datos.h)
  message(FATAL_ERROR "CARRERA_LINUX must name a Linux build with its data made")
endif()
enable_language(RC)

find_path(ALLEGRO_INCLUDE allegro.h REQUIRED)
find_library(ALLEGRO_LIB alleg REQUIRED)
add_library(allegro INTERFACE)
target_include_directories(allegro INTERFACE ${ALLEGRO_INCLUDE})
target_compile_definitions(allegro INTERFACE ALLEGRO_STATICLINK)
# Allegro's own lists still name its DirectX drivers, so their libraries stay.
target_link_libraries(allegro INTERFACE ${ALLEGRO_LIB} dinput ddraw dxguid dsound winmm
                      ole32 gdi32 comdlg32)

# SDL, static, and the Windows libraries it calls (its sdl2.pc names them).
find_path(SDL_INCLUDE SDL.h PATH_SUFFIXES SDL2 REQUIRED)
find_library(SDL_LIB SDL2 REQUIRED)
add_library(sdl INTERFACE)
target_include_directories(sdl INTERFACE ${SDL_INCLUDE})
# Allegro brings its own WinMain (END_OF_MAIN), which calls the game's main.
target_compile_definitions(sdl INTERFACE SDL_MAIN_HANDLED)
target_link_libraries(sdl INTERFACE ${SDL_LIB} m user32 gdi32 winmm imm32 ole32 oleaut32
                      version uuid advapi32 setupapi shell32 dinput8)

# Explorer shows the program's icon, the car; the window's is the Linux build's.
find_program(CONVERT convert REQUIRED)
set(icono ${CMAKE_BINARY_DIR}/carrera.ico)
set(pngs)
foreach(t 32 48 64 128)
  list(APPEND pngs ${CARRERA_LINUX}/iconos/${t}.png)
endforeach()
add_custom_command(OUTPUT ${icono}
  COMMAND ${CONVERT} ${pngs} ${icono}
  DEPENDS ${pngs}
  COMMENT "Making the Windows icon from the car")
file(WRITE ${CMAKE_BINARY_DIR}/carrera.rc "allegro_icon ICON \"${icono}\"\n")
set_source_files_properties(${CMAKE_BINARY_DIR}/carrera.rc PROPERTIES OBJECT_DEPENDS ${icono})

# The desktop's drivers, as on Linux.
add_executable(carrera WIN32 game/main.cpp game/timers.cpp game/espera.cpp game/chequeo.cpp
               escritorio/sistema.c escritorio/pantalla.c escritorio/teclado.c
               escritorio/mando.c escritorio/reloj.c escritorio/sonido.c
               ${CMAKE_BINARY_DIR}/carrera.rc)
target_include_directories(carrera PRIVATE game escritorio ${CARRERA_LINUX}/data
                           ${CARRERA_LINUX}/escritorio)
target_link_libraries(carrera PRIVATE allegro sdl)
# Everything static: the game needs no DLL beyond Windows' own. No link time
# in the program's header, so two builds of one commit are the same.
# The stack protector, as Allegro has it (GCC links its libssp in); the
# linker already gives high-entropy ASLR and DEP.
target_compile_options(carrera PRIVATE -fstack-protector-strong)
# What nothing reaches is left out (some 50 KB).
target_link_options(carrera PRIVATE -static -fstack-protector-strong -Wl,--no-insert-timestamp
                    -Wl,--gc-sections)
