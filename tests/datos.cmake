# The built data: datos.dat, its header, the MIDI patches and allegro.cfg.
add_executable(datos_test datos_test.cpp)
target_link_libraries(datos_test PRIVATE reglas GTest::gtest_main)
target_compile_definitions(datos_test PRIVATE
  SALIDA="${CARRERA_SALIDA}" DIBUJOS="${CMAKE_BINARY_DIR}/data")
add_dependencies(datos_test datos)
gtest_discover_tests(datos_test WORKING_DIRECTORY ${CARRERA_SALIDA})

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
