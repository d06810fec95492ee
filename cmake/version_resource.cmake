# The version resource and the application manifest of setup and conrun,
# generated from the PRODUCT_* cache variables (see CMakeLists.txt).
#
# The manifest leaves requestedExecutionLevel out unless the product asks
# for one: without it Windows treats a program called "setup" as an
# installer and offers elevation, as it always has for this launcher.

if(NOT PRODUCT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "PRODUCT_VERSION must be four numbers a.b.c.d, not '${PRODUCT_VERSION}'")
endif()
string(REPLACE "." "," PRODUCT_VERSION_COMMAS "${PRODUCT_VERSION}")
foreach(value PRODUCT_NAME PRODUCT_COMPANY PRODUCT_DESCRIPTION PRODUCT_COPYRIGHT)
  if(${value} MATCHES "[\"\\\\<>&]")
    message(FATAL_ERROR "${value} may not hold quotes, backslashes, '<', '>' or '&'")
  endif()
endforeach()

if(PRODUCT_EXECUTION_LEVEL STREQUAL "")
  set(PRODUCT_TRUST_INFO "")
elseif(PRODUCT_EXECUTION_LEVEL MATCHES "^(asInvoker|requireAdministrator)$")
  set(PRODUCT_TRUST_INFO "
  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level=\"${PRODUCT_EXECUTION_LEVEL}\" uiAccess=\"false\"/>
      </requestedPrivileges>
    </security>
  </trustInfo>")
else()
  message(FATAL_ERROR "PRODUCT_EXECUTION_LEVEL must be empty, asInvoker or requireAdministrator, "
                      "not '${PRODUCT_EXECUTION_LEVEL}'")
endif()

set(PRODUCT_MANIFEST_FILE ${CMAKE_BINARY_DIR}/generated/launcher.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/launcher.manifest.in ${PRODUCT_MANIFEST_FILE} @ONLY)

# version_resource_for(<program name> <out var>): the generated .rc of one
# program (its own OriginalFilename), for its SOURCES.
function(version_resource_for name out)
  set(PROGRAM_NAME ${name})
  set(PROGRAM_FILE ${name}.exe)
  set(rc ${CMAKE_BINARY_DIR}/generated/version_${name}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${PRODUCT_MANIFEST_FILE})
  set(${out} ${rc} PARENT_SCOPE)
endfunction()
