# Installing the game the way Debian lays out games, and packing it as a .deb.
#   <prefix>/games/carrera                 the command: goes to the data and starts the game
#   <prefix>/lib/games/carrera/            the game, with allegro.cfg and patches.dat beside
#                                          it, where Allegro looks for them
#   <prefix>/share/games/carrera/datos.dat read from the working directory
#   menu entry, icons and man page in their usual places
set(juego_bin lib/games/carrera)
set(juego_datos share/games/carrera)

# Two builds of one commit make the same package: its dates are the last
# commit's (or the source files' in a tarball), unless SOURCE_DATE_EPOCH is set.
set(fecha $ENV{SOURCE_DATE_EPOCH})
if(NOT fecha)
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE fecha OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT fecha)
  file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt fecha "%s" UTC)
endif()

install(TARGETS carrera RUNTIME DESTINATION ${juego_bin})
install(FILES ${CARRERA_SALIDA}/allegro.cfg ${CARRERA_SALIDA}/patches.dat
        DESTINATION ${juego_bin})
install(FILES ${CARRERA_SALIDA}/datos.dat DESTINATION ${juego_datos})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/cmake/instalar/carrera DESTINATION games)
# The menu entry names the command by its full path, known only at install
# time (--prefix may change it then); DESTDIR is left out of that path.
install(CODE "
  set(ordenes \${CMAKE_INSTALL_PREFIX}/games)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/instalar/carrera.desktop.in
                 \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/carrera.desktop @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/carrera.desktop\")
")

# Debian keeps man pages gzipped; -n leaves no date in it.
find_program(GZIP gzip REQUIRED)
set(manual ${CMAKE_BINARY_DIR}/carrera.6.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/cmake/instalar/carrera.6 > ${manual}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/instalar/carrera.6)
add_custom_target(manual ALL DEPENDS ${manual})
install(FILES ${manual} DESTINATION share/man/man6)
# The changelog is signed by the package's maintainer.
set(CARRERA_MANTENEDOR "The Carrera developers <equipo@carrera-juego.org>" CACHE STRING
    "Maintainer of the .deb and signer of its changelog")
configure_file(${PROJECT_SOURCE_DIR}/cmake/instalar/changelog ${CMAKE_BINARY_DIR}/changelog @ONLY)
set(cambios ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${cambios}
  COMMAND ${GZIP} -9n -c ${CMAKE_BINARY_DIR}/changelog > ${cambios}
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(cambios ALL DEPENDS ${cambios})
install(FILES ${cambios} ${PROJECT_SOURCE_DIR}/cmake/instalar/copyright
        DESTINATION share/doc/carrera)
# Software centres list the game from this; its id is the project's for good.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/instalar/org.carrera_juego.carrera.metainfo.xml
        DESTINATION share/metainfo)

# The icon is the car from above, painted with the rest of the pictures.
set(iconos ${CMAKE_BINARY_DIR}/iconos)
set(tamanos 128 64 48 32)
set(pngs)
foreach(t IN LISTS tamanos)
  list(APPEND pngs ${iconos}/${t}.png)
  install(FILES ${iconos}/${t}.png DESTINATION share/icons/hicolor/${t}x${t}/apps
          RENAME carrera.png)
endforeach()
find_program(CONVERT convert REQUIRED)
# With SOURCE_DATE_EPOCH set ImageMagick writes no dates into the PNGs.
add_custom_command(OUTPUT ${pngs}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${fecha}
          bash ${PROJECT_SOURCE_DIR}/cmake/instalar/icono.sh ${CONVERT}
          ${CMAKE_BINARY_DIR}/data/coche_arriba.pcx ${iconos} ${tamanos}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/instalar/icono.sh
          ${CMAKE_BINARY_DIR}/data/coche_arriba.pcx
  COMMENT "Making the menu icon from the car")
add_custom_target(icono ALL DEPENDS ${pngs})
add_dependencies(icono datos)

# cpack -G DEB in the build tree (script/paquete does it).
set(CPACK_PACKAGE_NAME carrera)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${CARRERA_MANTENEDOR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "top-down car racing game")
set(CPACK_PACKAGE_DESCRIPTION "Drive a small car round a track seen from above with the arrow keys;
every five checkpoints make a lap, and a clock runs while you race.
A title tune plays through Allegro's software MIDI player.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tune needs nothing from outside: its patches come in patches.dat.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
# cpack dates the package's files and archives from SOURCE_DATE_EPOCH.
file(WRITE ${CMAKE_BINARY_DIR}/cpack_fecha.cmake
     "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${fecha})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack_fecha.cmake)
include(CPack)
