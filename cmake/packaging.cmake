# Installation and packages: a Debian package laid out as Debian Policy puts a
# game, with its menu entry, icons and AppStream data, and on Windows a zip with
# the game (its icon and version information built in), the README and the
# licence. Both are reproducible: every time stamp is the last commit's.
include(GNUInstallDirs)

configure_file(cmake/cpack_options.cmake.in ${CMAKE_BINARY_DIR}/cpack_options.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack_options.cmake)

if(WIN32)
  enable_language(RC)
  set(REEDMERE_ICO ${CMAKE_SOURCE_DIR}/packaging/icons/reedmere.ico)
  configure_file(packaging/reedmere.rc.in ${CMAKE_BINARY_DIR}/reedmere.rc @ONLY)
  target_sources(reedmere PRIVATE ${CMAKE_BINARY_DIR}/reedmere.rc)
  set_property(SOURCE ${CMAKE_BINARY_DIR}/reedmere.rc APPEND PROPERTY OBJECT_DEPENDS ${REEDMERE_ICO})
  install(TARGETS reedmere RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME reedmere-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(REEDMERE_INSTALL_GAMESDIR games CACHE PATH "Where the game goes, under the prefix")
  install(TARGETS reedmere RUNTIME DESTINATION ${REEDMERE_INSTALL_GAMESDIR})
  # Manual page and changelog compressed as Debian does: gzip -9n, no name or time inside.
  function(reedmere_gzip source name)
    add_custom_command(OUTPUT ${name}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${name}
      COMMAND gzip -9nf ${name}
      DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  endfunction()
  reedmere_gzip(reedmere.6 reedmere.6)
  reedmere_gzip(packaging/changelog changelog)
  add_custom_target(reedmere_documents ALL DEPENDS reedmere.6.gz changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/reedmere.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # What a desktop needs to offer the game in its Games menu.
  install(FILES packaging/reedmere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/org.reedmere.reedmere.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/reedmere.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES packaging/icons/reedmere-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME reedmere.png)
  endforeach()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME reedmere)
set(CPACK_PACKAGE_VENDOR "The Reedmere developers")
set(CPACK_PACKAGE_CONTACT "Reedmere developers <dev@reedmere.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "A single-player fishing game for the text console. Three fish swim
about a 10 by 10 pond, drawn in colour; press a key and the pond is covered,
then cast your line by typing a column and a row. Your father, out fishing
with you, reports what you pull up, in dark comedy.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
