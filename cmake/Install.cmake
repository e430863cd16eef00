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

# Fills in a document from dist/ (the project version, who ships it) and installs it into
# `destination`, compressed where gzip is at hand (Debian wants the man page and the changelog so).
# `installed` receives the name of the file installed.
find_program(GZIP_PROGRAM gzip)
function(kestrane_install_document template name destination installed)
  set(document ${PROJECT_BINARY_DIR}/dist/${name})
  configure_file(${KESTRANE_DIST_DIR}/${template} ${document} @ONLY)
  if(GZIP_PROGRAM)
    add_custom_command(
      OUTPUT ${document}.gz
      COMMAND ${GZIP_PROGRAM} --best --no-name --keep --force ${document}
      DEPENDS ${document}
      COMMENT "Compressing ${name}"
      VERBATIM)
    add_custom_target(kestrane_document_${name} ALL DEPENDS ${document}.gz)
    set(document ${document}.gz)
  endif()
  install(FILES ${document} DESTINATION ${destination})
  get_filename_component(document_name ${document} NAME)
  set(${installed} ${document_name} PARENT_SCOPE)
endfunction()

kestrane_install_document(kestrane.1.in kestrane.1 ${CMAKE_INSTALL_MANDIR}/man1 man_page_name)
kestrane_install_document(changelog.in changelog ${KESTRANE_DOC_DIR} changelog_name)
if(KESTRANE_BUILD_CLI)
  string(REPLACE kestrane kestrane-cli cli_man_page_name ${man_page_name})
  file(CREATE_LINK ${man_page_name} ${KESTRANE_LINKS_DIR}/${cli_man_page_name} SYMBOLIC)
  install(FILES ${KESTRANE_LINKS_DIR}/${cli_man_page_name} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
