# The built data: datos.dat, its header, the MIDI patches and allegro.cfg.
add_executable(datos_test datos_test.cpp)
target_link_libraries(datos_test PRIVATE reglas GTest::gtest_main)
target_compile_definitions(datos_test PRIVATE
  SALIDA="${CARRERA_SALIDA}" DIBUJOS="${CMAKE_BINARY_DIR}/data")
add_dependencies(datos_test datos)
gtest_discover_tests(datos_test WORKING_DIRECTORY ${CARRERA_SALIDA})

# The data made again in another folder is the same, byte for byte: two builds
# of one commit must not differ. The other folder goes, also on a failure.
add_test(NAME datos_reproducible COMMAND bash -c [[
  otra=$(mktemp -d "$PWD/reproducible.XXXXXX") && trap 'rm -rf "$otra"' EXIT &&
  cmake -S "$1" -B "$otra" -DBUILD_TESTING=OFF >/dev/null &&
  cmake --build "$otra" --target datos >/dev/null &&
  for f in datos.dat patches.dat data/datos.h; do cmp "$otra/$f" "$f" || exit 1; done
]] _ ${PROJECT_SOURCE_DIR})
set_tests_properties(datos_reproducible PROPERTIES WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                     TIMEOUT 300)

# The tune heard through Allegro's MIDI player; Allegro needs a display to
# start, so it runs in a private X server when there is one to be had.
add_executable(datos_sonido datos_sonido.cpp)
target_link_libraries(datos_sonido PRIVATE PkgConfig::ALLEGRO datos_indices GTest::gtest_main)
target_compile_definitions(datos_sonido PRIVATE SALIDA="${CARRERA_SALIDA}")
add_dependencies(datos_sonido datos)
find_program(XVFB_RUN xvfb-run)
if(XVFB_RUN)
  add_test(NAME datos_sonido COMMAND ${XVFB_RUN} -a $<TARGET_FILE:datos_sonido>)
else()
  add_test(NAME datos_sonido COMMAND datos_sonido)
endif()
set_tests_properties(datos_sonido PROPERTIES WORKING_DIRECTORY ${CARRERA_SALIDA} TIMEOUT 120)
