# The sealing key is built in. A build-time tool checks it (RSA-1024, exponent 65537; with
# KESTRANE_RELEASE not the development key) and turns it into a translation unit of its own, so
# that no library of the core holds no key and each program links exactly one:
#   kestrane_sealing_key              the configured key (KESTRANE_SEALING_KEY): the product
#   kestrane_development_sealing_key  the development key: the tests, which hold its private half

set(KESTRANE_DEVELOPMENT_SEALING_KEY "${PROJECT_SOURCE_DIR}/keys/development-sealing-key.pem")

if(KESTRANE_RELEASE)
  set(default_sealing_key "")
else()
  set(default_sealing_key "${KESTRANE_DEVELOPMENT_SEALING_KEY}")
endif()
set(KESTRANE_SEALING_KEY "${default_sealing_key}"
    CACHE FILEPATH "RSA-1024 public key (PEM, exponent 65537) built into the program for sealing")

if(KESTRANE_RELEASE AND NOT KESTRANE_SEALING_KEY)
  message(FATAL_ERROR "A release build needs the maker's public sealing key: "
                      "make release SEALING_KEY=public.pem (cmake: -DKESTRANE_SEALING_KEY=public.pem)")
endif()
if(NOT EXISTS "${KESTRANE_SEALING_KEY}" OR IS_DIRECTORY "${KESTRANE_SEALING_KEY}")
  message(FATAL_ERROR "The sealing key ${KESTRANE_SEALING_KEY} is not a file")
endif()

# kestrane_add_sealing_key(<name> <pem> [RELEASE <bool>]): an INTERFACE library that puts the key's
# object file on the link line of every executable linking it, directly or through a static
# library. A true RELEASE refuses the development key.
function(kestrane_add_sealing_key name pem)
  cmake_parse_arguments(ARG "" "RELEASE" "" ${ARGN})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  set(release_option "")
  if(ARG_RELEASE)
    set(release_option --release)
  endif()
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${KESTRANE_EMBED_TOOL} ${release_option} ${pem} ${KESTRANE_DEVELOPMENT_SEALING_KEY} ${source}
    DEPENDS ${KESTRANE_EMBED_TOOL_TARGET} ${KESTRANE_EMBED_TOOL} ${pem} ${KESTRANE_DEVELOPMENT_SEALING_KEY}
    COMMENT "Embedding the sealing key ${pem}"
    VERBATIM)
  add_library(${name}_object OBJECT ${source})
  target_include_directories(${name}_object PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name}_object PRIVATE kestrane_warnings)
  add_library(${name} INTERFACE)
  # The object files go on the link line; the object library itself goes along so that every
  # program builds it first. The Makefile generators add no such order for the objects alone.
  target_link_libraries(${name} INTERFACE ${name}_object $<TARGET_OBJECTS:${name}_object>)
endfunction()

# kestrane_add_program_copy(<name> <program> <key>): the program target <program> built once more
# from the same sources and libraries, with the sealing key library <key> in place of the
# configured one.
function(kestrane_add_program_copy name program key)
  get_target_property(sources ${program} SOURCES)
  get_target_property(source_dir ${program} SOURCE_DIR)
  set(absolute_sources "")
  foreach(source IN LISTS sources)
    if(NOT IS_ABSOLUTE "${source}")
      set(source "${source_dir}/${source}")
    endif()
    list(APPEND absolute_sources "${source}")
  endforeach()
  get_target_property(libraries ${program} LINK_LIBRARIES)
  list(REMOVE_ITEM libraries kestrane_sealing_key)
  add_executable(${name} ${absolute_sources})
  target_link_libraries(${name} PRIVATE ${libraries} ${key})
endfunction()
