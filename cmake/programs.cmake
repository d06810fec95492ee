# add_launcher_programs(<suffix> <output dir> <start delay ms> <test hooks>)
#   Builds setup.exe (GUI subsystem, entry WinMain, with resources) and
#   conrun.exe (console subsystem, entry main) into <output dir>.
#   The shipped pair lives in build/bin; the test variant, with a short start
#   delay and test-only hooks, in build/test-bin.
function(add_launcher_programs suffix outdir delay hooks)
  set(common ${CMAKE_SOURCE_DIR}/launcher/main.cpp
             ${CMAKE_SOURCE_DIR}/launcher/build_variant.cpp
             $<TARGET_OBJECTS:launcher_core> $<TARGET_OBJECTS:catalogue>)
  set(defs PRODUCT_JAVA_START_DELAY_MS=${delay})
  if(hooks)
    list(APPEND defs LAUNCHER_TEST_HOOKS=1)
  endif()

  add_executable(setup${suffix} WIN32 ${common} ${CMAKE_SOURCE_DIR}/ui/setup.rc)
  add_executable(conrun${suffix} ${common})
  foreach(t setup${suffix} conrun${suffix})
    target_compile_definitions(${t} PRIVATE ${defs})
    target_include_directories(${t} PRIVATE
        ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated ${ZLIB_INCLUDE})
    target_link_libraries(${t} PRIVATE ${LAUNCHER_SYSTEM_LIBS})
    set_target_properties(${t} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${outdir})
  endforeach()
  target_compile_definitions(conrun${suffix} PRIVATE LAUNCHER_CONSOLE_ENTRY=1)
  set_target_properties(setup${suffix} PROPERTIES OUTPUT_NAME setup)
  set_target_properties(conrun${suffix} PROPERTIES OUTPUT_NAME conrun)
endfunction()

# windres reads the icon file named in setup.rc; rebuild when it changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/setup.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/ui/setup.ico)

add_launcher_programs("" ${CMAKE_BINARY_DIR}/bin ${PRODUCT_JAVA_START_DELAY_MS} OFF)
add_launcher_programs("_test" ${CMAKE_BINARY_DIR}/test-bin ${TEST_JAVA_START_DELAY_MS} ON)
