# What `cmake --install` puts where: the programs (kestrane, and kestrane-cli without widgets), the
# menu entry and icon, the AppStream metadata, the man page and the bash completion. Nothing from tests/ is installed (test data, the development
# sealing key's private half).
include(GNUInstallDirs)

set(KESTRANE_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(KESTRANE_APP_ID com.tev.Kestrane)
set(KESTRANE_PACKAGE_MAINTAINER "Tev firmware tools <firmware-tools@tev.example>"
    CACHE STRING "Who ships the program: the Maintainer field of the Debian package and its changelog")
# The folder of the package's documents is named after the package: kestrane, or kestrane-cli
# where the dialogs are left out.
if(KESTRANE_BUILD_GUI)
  set(KESTRANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrane)
else()
  set(KESTRANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrane-cli)
endif()

if(KESTRANE_BUILD_GUI)
  install(TARGETS kestrane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${KESTRANE_DIST_DIR}/${KESTRANE_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KESTRANE_DIST_DIR}/${KESTRANE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${KESTRANE_DIST_DIR}/icons/kestrane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${KESTRANE_DIST_DIR}/icons/kestrane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kestrane.png)
  endforeach()
endif()

if(KESTRANE_BUILD_CLI)
  install(TARGETS kestrane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# kestrane-cli shares the man page and the completion (bash-completion loads a command's completion
# by its name): links to kestrane's.
set(KESTRANE_LINKS_DIR ${PROJECT_BINARY_DIR}/dist/links)
file(MAKE_DIRECTORY ${KESTRANE_LINKS_DIR})
file(CREATE_LINK kestrane ${KESTRANE_LINKS_DIR}/kestrane-cli SYMBOLIC)

install(FILES ${KESTRANE_DIST_DIR}/kestrane.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kestrane)
if(KESTRANE_BUILD_CLI)
  install(FILES ${KESTRANE_LINKS_DIR}/kestrane-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/release.sh DESTINATION ${KESTRANE_DOC_DIR}/examples)
install(FILES ${KESTRANE_DIST_DIR}/copyright DESTINATION ${KESTRANE_DOC_DIR})

# The man page carries the project version; installed compressed where gzip is at hand (Debian
# wants it so).
set(man_page ${PROJECT_BINARY_DIR}/dist/kestrane.1)
configure_file(${KESTRANE_DIST_DIR}/kestrane.1.in ${man_page} @ONLY)
find_program(GZIP_PROGRAM gzip)
if(GZIP_PROGRAM)
  add_custom_command(
    OUTPUT ${man_page}.gz
    COMMAND ${GZIP_PROGRAM} --best --no-name --keep --force ${man_page}
    DEPENDS ${man_page}
    COMMENT "Compressing the man page"
    VERBATIM)
  add_custom_target(kestrane_man_page ALL DEPENDS ${man_page}.gz)
  set(installed_man_page ${man_page}.gz)
else()
  set(installed_man_page ${man_page})
endif()
install(FILES ${installed_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog of the release, with the project version and who ships it; compressed like the
# man page.
set(changelog ${PROJECT_BINARY_DIR}/dist/changelog)
configure_file(${KESTRANE_DIST_DIR}/changelog.in ${changelog} @ONLY)
if(GZIP_PROGRAM)
  add_custom_command(
    OUTPUT ${changelog}.gz
    COMMAND ${GZIP_PROGRAM} --best --no-name --keep --force ${changelog}
    DEPENDS ${changelog}
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(kestrane_changelog ALL DEPENDS ${changelog}.gz)
  install(FILES ${changelog}.gz DESTINATION ${KESTRANE_DOC_DIR})
else()
  install(FILES ${changelog} DESTINATION ${KESTRANE_DOC_DIR})
endif()
if(KESTRANE_BUILD_CLI)
  get_filename_component(man_page_name ${installed_man_page} NAME)
  string(REPLACE kestrane kestrane-cli cli_man_page_name ${man_page_name})
  file(CREATE_LINK ${man_page_name} ${KESTRANE_LINKS_DIR}/${cli_man_page_name} SYMBOLIC)
  install(FILES ${KESTRANE_LINKS_DIR}/${cli_man_page_name} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
