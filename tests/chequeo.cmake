# The datafile check: crafted faults, and a corpus of damaged datafiles that
# must each be refused or load safely.
set(CHEQUEO_DATOS "CARRERA_DATOS=\"${CARRERA_SALIDA}/datos.dat\"")

add_executable(chequeo_test chequeo_test.cpp)
target_link_libraries(chequeo_test PRIVATE reglas GTest::gtest_main)
target_compile_definitions(chequeo_test PRIVATE ${CHEQUEO_DATOS})
add_dependencies(chequeo_test datos)
gtest_discover_tests(chequeo_test)

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/corpus_test.cpp)
  add_executable(corpus_test corpus_test.cpp)
  target_link_libraries(corpus_test PRIVATE reglas GTest::gtest_main)
  target_compile_definitions(corpus_test PRIVATE ${CHEQUEO_DATOS}
    CORPUS_FALLOS="${CMAKE_CURRENT_SOURCE_DIR}/corpus")
  # The real datos.dat, when the asset build makes one, is the corpus base.
  add_dependencies(corpus_test datos)
  gtest_discover_tests(corpus_test PROPERTIES TIMEOUT 300)
endif()
