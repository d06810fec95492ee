# add_launcher_programs(<suffix> <output dir> <start delay ms> <test hooks>)
#   Builds setup.exe (GUI subsystem, entry WinMain, with resources) and
#   conrun.exe (console subsystem, entry main) into <output dir>.
#   The shipped pair lives in build/bin; the test variant, with a short start
#   delay and test-only hooks, in build/test-bin.
function(add_launcher_programs suffix outdir delay hooks)
  set(hook_flag)
  if(hooks)
    set(hook_flag TEST_HOOKS)
  endif()
  add_core_program(setup${suffix} ${outdir} ${delay} WIN32 ${hook_flag}
      SOURCES ${CMAKE_SOURCE_DIR}/launcher/main.cpp ${CMAKE_SOURCE_DIR}/ui/setup.rc)
  add_core_program(conrun${suffix} ${outdir} ${delay} ${hook_flag}
      SOURCES ${CMAKE_SOURCE_DIR}/launcher/main.cpp)
  # The MinGW start-up code calls main whenever one exists: only conrun has it.
  target_compile_definitions(conrun${suffix} PRIVATE LAUNCHER_CONSOLE_ENTRY=1)
  set_target_properties(setup${suffix} PROPERTIES OUTPUT_NAME setup)
  set_target_properties(conrun${suffix} PROPERTIES OUTPUT_NAME conrun)
endfunction()

# windres reads the icon file named in setup.rc; rebuild when it changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/setup.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/ui/setup.ico)

add_launcher_programs("" ${CMAKE_BINARY_DIR}/bin ${PRODUCT_JAVA_START_DELAY_MS} OFF)
add_launcher_programs("_test" ${CMAKE_BINARY_DIR}/test-bin ${TEST_JAVA_START_DELAY_MS} ON)
