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
