# add_core_program(<target> <output dir> <start delay ms> [WIN32] [TEST_HOOKS]
#                  [MODERN_JAVA] SOURCES <files>...)
#   A program built on the launcher's modules: its own sources, the module
#   libraries (zlib statically, Windows' own DLLs), the catalogue objects (so
#   it carries the catalogue exports the lookup needs) and its own build
#   variant (start delay, test hooks; MODERN_JAVA accepts runtimes 9 and later
#   whatever PRODUCT_ACCEPT_MODERN_JAVA says).
#   The programs, their test variants, the unit tests and the test probes all
#   come from here.
function(add_core_program target outdir delay)
  cmake_parse_arguments(ARG "WIN32;TEST_HOOKS;MODERN_JAVA" "" "SOURCES" ${ARGN})
  set(kind)
  if(ARG_WIN32)
    set(kind WIN32)
  endif()
  add_executable(${target} ${kind} ${ARG_SOURCES}
      ${CMAKE_SOURCE_DIR}/product/build_variant.cpp ${CMAKE_SOURCE_DIR}/launcher/build_variant.cpp
      $<TARGET_OBJECTS:catalogue>)
  target_compile_definitions(${target} PRIVATE PRODUCT_JAVA_START_DELAY_MS=${delay})
  if(ARG_TEST_HOOKS)
    target_compile_definitions(${target} PRIVATE LAUNCHER_TEST_HOOKS=1)
  endif()
  if(ARG_MODERN_JAVA)
    target_compile_definitions(${target} PRIVATE PRODUCT_ACCEPT_MODERN_JAVA=1)
  endif()
  target_link_libraries(${target} PRIVATE launcher kernel32)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${outdir})
endfunction()


# add_launcher_programs(<suffix> <output dir> <start delay ms> <test hooks>)
#   Builds setup.exe (GUI subsystem, entry WinMain, with the status window's
#   dialog and the icon) and conrun.exe (console subsystem, entry main) into
#   <output dir>; both carry the version resource and the manifest.
#   The shipped pair lives in build/bin; the test variant, with a short start
#   delay and test-only hooks, in build/test-bin.
function(add_launcher_programs suffix outdir delay hooks)
  set(hook_flag)
  if(hooks)
    set(hook_flag TEST_HOOKS)
  endif()
  version_resource_for(setup setup_version)
  version_resource_for(conrun conrun_version)
  add_core_program(setup${suffix} ${outdir} ${delay} WIN32 ${hook_flag}
      SOURCES ${CMAKE_SOURCE_DIR}/launcher/main.cpp ${CMAKE_SOURCE_DIR}/ui/setup.rc
              ${setup_version})
  add_core_program(conrun${suffix} ${outdir} ${delay} ${hook_flag}
      SOURCES ${CMAKE_SOURCE_DIR}/launcher/main.cpp ${conrun_version})
  # The MinGW start-up code calls main whenever one exists: only conrun has it.
  target_compile_definitions(conrun${suffix} PRIVATE LAUNCHER_CONSOLE_ENTRY=1)
  set_target_properties(setup${suffix} PROPERTIES OUTPUT_NAME setup)
  set_target_properties(conrun${suffix} PROPERTIES OUTPUT_NAME conrun)
  # Without the symbol table and the debugging sections that the static
  # libraries bring (about 670 KB of a 1.46 MB program): the program is the
  # front of every installer, and Windows reads neither.
  target_link_options(setup${suffix} PRIVATE -s)
  target_link_options(conrun${suffix} PRIVATE -s)
endfunction()

# windres reads the icon file named in setup.rc; rebuild when it changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/setup.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/ui/setup.ico)

add_launcher_programs("" ${CMAKE_BINARY_DIR}/bin ${PRODUCT_JAVA_START_DELAY_MS} OFF)
add_launcher_programs("_test" ${CMAKE_BINARY_DIR}/test-bin ${TEST_JAVA_START_DELAY_MS} ON)
# The console program of the test variant once more, accepting runtimes 9 and
# later, for the tests of that build option.
add_core_program(conrun_test_modern ${CMAKE_BINARY_DIR}/test-bin-modern
    ${TEST_JAVA_START_DELAY_MS} TEST_HOOKS MODERN_JAVA
    SOURCES ${CMAKE_SOURCE_DIR}/launcher/main.cpp)
target_compile_definitions(conrun_test_modern PRIVATE LAUNCHER_CONSOLE_ENTRY=1)
set_target_properties(conrun_test_modern PROPERTIES OUTPUT_NAME conrun)
