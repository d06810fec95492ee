# One library per module, each with its own source list, linked with the
# modules below it that cmake/layers.txt says it uses (launcher: entry points
# excluded, each program compiles main.cpp itself).
#
# Static archives are searched once, in this order from the top, so a call
# from a module to one above it does not link. The include check
# (scripts/check-includes, run by ctest) refuses the #include as well.
#
#   catalogue  ui/messages_*.cpp: the exported catalogue entries. An object
#              library, never an archive, so that every entry is linked (and
#              exported) even though no code refers to it by name.

set(LAUNCHER_INCLUDES ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)

# The modules each module uses, from the one table of the layering.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/layers.txt LAYER_LINES REGEX "^[a-z]+:")
function(modules_used_by name out)
  foreach(line IN LISTS LAYER_LINES)
    if(line MATCHES "^${name}:(.*)$")
      string(STRIP "${CMAKE_MATCH_1}" used)
      separate_arguments(used)
      set(${out} ${used} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "module ${name} is not in cmake/layers.txt")
endfunction()

# add_module(<name> SOURCES <files>... [USES <libraries>...]): the library
# of module <name>, linked with the modules cmake/layers.txt says it uses
# and with the other libraries named.
function(add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;USES" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  modules_used_by(${name} modules)
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${LAUNCHER_INCLUDES})
  target_link_libraries(${name} PUBLIC ${modules} ${ARG_USES})
endfunction()

add_module(base
    SOURCES base/file_below.cpp base/file_safety.cpp base/memory.cpp base/mbcs.cpp base/path.cpp
            base/product_values.cpp base/trace.cpp base/version_info.cpp base/workers.cpp
    USES ntdll advapi32)
add_module(product
    SOURCES product/product.cpp)
add_module(zip
    SOURCES zip/archive.cpp zip/central_directory.cpp zip/entry_data.cpp zip/entry_stream.cpp
            zip/extract.cpp zip/fileio.cpp zip/entry_name.cpp zip/signed_image.cpp
    USES deflate zstd_decoder ${ZLIB_STATIC})
target_include_directories(zip PUBLIC ${ZLIB_INCLUDE})
# user32 and gdi32 are loaded when first used (ui/window_code.h), not linked.
add_module(ui
    SOURCES ui/catalogue.cpp ui/output.cpp ui/progress.cpp ui/progress_measure.cpp ui/report.cpp
            ui/status_window.cpp ui/status_layout.cpp ui/window_code.cpp ui/colour_depth.cpp)
add_module(java
    SOURCES java/command_line.cpp java/launch.cpp java/registry_search.cpp java/runtime.cpp
            java/runtime_directory.cpp java/version.cpp
    USES advapi32)
add_module(launcher
    SOURCES launcher/cleanup.cpp launcher/console_control.cpp launcher/instance.cpp
            launcher/launch_sequence.cpp launcher/options.cpp launcher/run_state.cpp
            launcher/tree_removal.cpp launcher/upgrade.cpp launcher/working_directory.cpp
    USES advapi32)

add_library(catalogue OBJECT
    ${CMAKE_SOURCE_DIR}/ui/messages_en.cpp ${CMAKE_SOURCE_DIR}/ui/messages_es.cpp
    ${CMAKE_SOURCE_DIR}/ui/messages_ja.cpp ${CMAKE_SOURCE_DIR}/ui/messages_zh_CN.cpp)
target_include_directories(catalogue PUBLIC ${CMAKE_SOURCE_DIR})
