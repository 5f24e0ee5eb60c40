# The pacing shim the runner (bench/ritmo) loads into the game with LD_PRELOAD.
# It is built with everything else but no test uses it.
add_library(sombra MODULE ${CMAKE_CURRENT_LIST_DIR}/sombra.c)
set_target_properties(sombra PROPERTIES PREFIX "" C_STANDARD 11 C_EXTENSIONS ON
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(sombra PRIVATE PkgConfig::ALLEGRO ${CMAKE_DL_LIBS} pthread)

# A made-up race in the same calls, for bench/ritmo_prueba.py to check the shim.
add_executable(sombra_prueba ${CMAKE_CURRENT_LIST_DIR}/sombra_prueba.c)
set_target_properties(sombra_prueba PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(sombra_prueba PRIVATE PkgConfig::ALLEGRO)
