# The four subsystems are compiled once into object libraries that both
# programs, their test variants and the unit tests share.
#
#   launcher_core  every source of launcher/, zip/, java/ and ui/ except the
#                  entry points, the build variant and the catalogue texts
#   catalogue      ui/messages_*.cpp: the exported catalogue entries. An object
#                  library, never an archive, so that every entry is linked
#                  (and exported) even though no code refers to it by name.
file(GLOB LAUNCHER_CORE_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/launcher/*.cpp ${CMAKE_SOURCE_DIR}/zip/*.cpp
     ${CMAKE_SOURCE_DIR}/java/*.cpp ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(FILTER LAUNCHER_CORE_SOURCES EXCLUDE REGEX
     "/launcher/main\\.cpp$|/launcher/build_variant\\.cpp$|/ui/messages_[^/]*\\.cpp$")
file(GLOB CATALOGUE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/messages_*.cpp)

add_library(launcher_core OBJECT ${LAUNCHER_CORE_SOURCES})
target_include_directories(launcher_core PUBLIC
    ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated ${ZLIB_INCLUDE})

add_library(catalogue OBJECT ${CATALOGUE_SOURCES})
target_include_directories(catalogue PUBLIC ${CMAKE_SOURCE_DIR})

# What every program built from the core links: zlib statically, and Windows'
# own DLLs.
set(LAUNCHER_SYSTEM_LIBS ${ZLIB_STATIC} user32 gdi32 advapi32 kernel32)

# add_core_program(<target> <output dir> <start delay ms> [WIN32] [TEST_HOOKS]
#                  SOURCES <files>...)
#   A program built on the launcher's core: its own sources, the core and the
#   catalogue objects (so it carries the catalogue exports the lookup needs),
#   its own build variant (start delay, test hooks), zlib and Windows' DLLs.
#   The programs, their test variants, the unit tests and the test probes all
#   come from here.
function(add_core_program target outdir delay)
  cmake_parse_arguments(ARG "WIN32;TEST_HOOKS" "" "SOURCES" ${ARGN})
  set(kind)
  if(ARG_WIN32)
    set(kind WIN32)
  endif()
  add_executable(${target} ${kind} ${ARG_SOURCES}
      ${CMAKE_SOURCE_DIR}/launcher/build_variant.cpp
      $<TARGET_OBJECTS:launcher_core> $<TARGET_OBJECTS:catalogue>)
  target_compile_definitions(${target} PRIVATE PRODUCT_JAVA_START_DELAY_MS=${delay})
  if(ARG_TEST_HOOKS)
    target_compile_definitions(${target} PRIVATE LAUNCHER_TEST_HOOKS=1)
  endif()
  target_include_directories(${target} PRIVATE
      ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated ${ZLIB_INCLUDE})
  target_link_libraries(${target} PRIVATE ${LAUNCHER_SYSTEM_LIBS})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${outdir})
endfunction()

