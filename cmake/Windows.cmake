# The Windows release, cross-built with MinGW-w64 (tools/windows/): both programs carry the icon and
# a version record; `cmake --install` lays out the portable folder (the programs, exactly the DLLs
# they load, Qt's platform and style plugins, the licences), which CPack packs as
# kestrane-<version>-win64.zip and as the NSIS installer kestrane-<version>-win64-setup.exe.
enable_language(RC)
set(CPACK_PACKAGE_VENDOR Tev)

# The icon Explorer shows, made of the sizes the Linux menu gets.
find_program(KESTRANE_MAGICK NAMES convert REQUIRED)
set(KESTRANE_ICON_PNGS "")
foreach(size 16 24 32 48 64 128 256)
  list(APPEND KESTRANE_ICON_PNGS ${PROJECT_SOURCE_DIR}/dist/icons/kestrane-${size}.png)
endforeach()
set(KESTRANE_RC_ICON ${CMAKE_BINARY_DIR}/kestrane.ico)
execute_process(COMMAND ${KESTRANE_MAGICK} ${KESTRANE_ICON_PNGS} ${KESTRANE_RC_ICON} COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTRANE_ICON_PNGS})

# kestrane_add_windows_resource(<target> <description>): the icon and the version record (program
# name, version, company) compiled into the program.
function(kestrane_add_windows_resource target description)
  set(KESTRANE_RC_NAME ${target})
  set(KESTRANE_RC_FILE ${target}.exe)
  set(KESTRANE_RC_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/dist/windows/program.rc.in ${CMAKE_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${target}.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/${target}.rc TARGET_DIRECTORY ${target}
                              PROPERTIES OBJECT_DEPENDS ${KESTRANE_RC_ICON})
endfunction()

set(KESTRANE_PROGRAMS "")
if(TARGET kestrane)
  kestrane_add_windows_resource(kestrane "Kestrane firmware tool")
  list(APPEND KESTRANE_PROGRAMS kestrane)
endif()
if(TARGET kestrane-cli)
  kestrane_add_windows_resource(kestrane-cli "Kestrane firmware tool (command line)")
  list(APPEND KESTRANE_PROGRAMS kestrane-cli)
endif()

# Where the DLLs come from: Qt's and OpenSSL's bin folders and the MinGW runtime.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(KESTRANE_QT_BIN "${qt_core_dll}" DIRECTORY)
get_filename_component(KESTRANE_OPENSSL_BIN "${OPENSSL_INCLUDE_DIR}/../bin" ABSOLUTE)
set(KESTRANE_DLL_DIRS ${KESTRANE_QT_BIN} ${KESTRANE_OPENSSL_BIN})
foreach(runtime libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(runtime_dir "${runtime_path}" DIRECTORY)
  get_filename_component(runtime_dir "${runtime_dir}" REALPATH)
  list(APPEND KESTRANE_DLL_DIRS ${runtime_dir})
endforeach()
list(REMOVE_DUPLICATES KESTRANE_DLL_DIRS)
set(KESTRANE_WINDOWS_DLL_DIRS "${KESTRANE_DLL_DIRS}" CACHE INTERNAL "Folders of the DLLs the programs load")

# Under Wine (the tests' emulator on the build machine) the DLLs are found through WINEPATH.
find_program(KESTRANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(CMAKE_CROSSCOMPILING AND KESTRANE_WINE)
  list(TRANSFORM KESTRANE_DLL_DIRS PREPEND "Z:" OUTPUT_VARIABLE wine_dll_dirs)
  string(JOIN ";" KESTRANE_WINEPATH ${wine_dll_dirs})
  get_filename_component(qt_prefix "${KESTRANE_QT_BIN}" DIRECTORY)
  set(KESTRANE_WINE_PLUGIN_PATH "Z:${qt_prefix}/plugins")
  configure_file(${PROJECT_SOURCE_DIR}/tools/windows/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# The programs and the plugins Qt loads for them, in the folders Qt looks in beside the program.
install(TARGETS ${KESTRANE_PROGRAMS} RUNTIME DESTINATION .)
set(KESTRANE_PLUGINS "")
if(TARGET kestrane)
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
  set(KESTRANE_PLUGINS $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
endif()

# Exactly the DLLs the programs and plugins import, found in those folders; the rest are the
# system's own.
set(program_files "")
foreach(program IN LISTS KESTRANE_PROGRAMS)
  list(APPEND program_files $<TARGET_FILE:${program}>)
endforeach()
install(CODE "
  set(FILES ${program_files} ${KESTRANE_PLUGINS})
  set(DIRS ${KESTRANE_DLL_DIRS})
  set(OBJDUMP \"${CMAKE_OBJDUMP}\")
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsRuntime.cmake)
")

# The licences: this program's, Qt's, OpenSSL's and those of the MinGW runtime.
get_filename_component(qt_prefix "${KESTRANE_QT_BIN}" DIRECTORY)
get_filename_component(openssl_prefix "${KESTRANE_OPENSSL_BIN}" DIRECTORY)
install(FILES ${PROJECT_SOURCE_DIR}/dist/copyright DESTINATION licenses RENAME Kestrane.txt)
install(DIRECTORY ${qt_prefix}/licenses/ DESTINATION licenses/Qt)
install(DIRECTORY ${openssl_prefix}/licenses/ DESTINATION licenses/OpenSSL)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses RENAME GCC-runtime.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses RENAME MinGW-w64.txt)

set(CPACK_PACKAGE_NAME kestrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kestrane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare network-camera firmware for customer companies")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kestrane)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP NSIS)
# The installer: a Start-menu entry for the program with the dialogs, an uninstaller.
set(CPACK_NSIS_PACKAGE_NAME Kestrane)
set(CPACK_NSIS_DISPLAY_NAME "Kestrane ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${KESTRANE_RC_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KESTRANE_RC_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME kestrane.exe)
set(CPACK_PACKAGE_EXECUTABLES kestrane Kestrane)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/WindowsCPackOptions.cmake)
include(CPack)
