# The built data: datos.dat, its header, the MIDI patches and allegro.cfg.
add_executable(datos_test datos_test.cpp)
target_link_libraries(datos_test PRIVATE reglas GTest::gtest_main)
target_compile_definitions(datos_test PRIVATE
  SALIDA="${CARRERA_SALIDA}" DIBUJOS="${CMAKE_BINARY_DIR}/data")
add_dependencies(datos_test datos)
gtest_discover_tests(datos_test WORKING_DIRECTORY ${CARRERA_SALIDA})
