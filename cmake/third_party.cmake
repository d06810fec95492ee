# The decoders the payload's entries need beyond zlib, compiled from Debian's
# own source packages (scripts/bootstrap fetches them with apt into
# LAUNCHER_DEPS_SOURCE; nothing of them is kept in this tree), with whatever
# compiler this tree uses: the mingw ones for the programs, the host's for
# the packer, the fuzzers and the benchmarks.
#
#   deflate        libdeflate 1.14: whole-buffer inflate and CRC-32
#   zstd_decoder   libzstd 1.5.4, its decoder alone (the launcher)
#   zstd_full      libzstd 1.5.4 with its encoder (the packer)

set(LAUNCHER_DEPS_SOURCE /var/cache/launcher-deps/src CACHE PATH
    "Where scripts/bootstrap unpacked Debian's libdeflate and libzstd source packages")
# Each package's tree, found by a header it has at a known place.
foreach(_package "DEFLATE;libdeflate-1.14*/libdeflate.h" "ZSTD;libzstd-1.5.4*/lib/zstd.h")
  list(GET _package 0 _name)
  list(GET _package 1 _marker)
  file(GLOB _found ${LAUNCHER_DEPS_SOURCE}/${_marker})
  if(NOT _found)
    message(FATAL_ERROR "${LAUNCHER_DEPS_SOURCE}/${_marker} is missing: run scripts/bootstrap")
  endif()
  list(GET _found 0 _found)
  string(REGEX REPLACE "/(lib/zstd|libdeflate)[.]h$" "" _found ${_found})
  set(LIB${_name}_SOURCE ${_found})
endforeach()

if(NOT TARGET deflate)
  add_library(deflate STATIC
      ${LIBDEFLATE_SOURCE}/lib/deflate_decompress.c ${LIBDEFLATE_SOURCE}/lib/crc32.c
      ${LIBDEFLATE_SOURCE}/lib/utils.c ${LIBDEFLATE_SOURCE}/lib/x86/cpu_features.c)
  target_include_directories(deflate SYSTEM PUBLIC ${LIBDEFLATE_SOURCE})
  target_compile_options(deflate PRIVATE -O2 -w)
  set_target_properties(deflate PROPERTIES POSITION_INDEPENDENT_CODE ON)

  set(_zstd ${LIBZSTD_SOURCE}/lib)
  set(_zstd_common ${_zstd}/common/debug.c ${_zstd}/common/entropy_common.c
      ${_zstd}/common/error_private.c ${_zstd}/common/fse_decompress.c
      ${_zstd}/common/xxhash.c ${_zstd}/common/zstd_common.c)
  set(_zstd_decoder ${_zstd}/decompress/huf_decompress.c ${_zstd}/decompress/zstd_ddict.c
      ${_zstd}/decompress/zstd_decompress.c ${_zstd}/decompress/zstd_decompress_block.c)
  file(GLOB _zstd_encoder ${_zstd}/compress/*.c)
  # No legacy formats, no dictionary builder, no assembly (the C decoder
  # serves every target alike).
  set(_zstd_definitions ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM XXH_NAMESPACE=ZSTD_)
  add_library(zstd_decoder STATIC ${_zstd_common} ${_zstd_decoder})
  target_include_directories(zstd_decoder SYSTEM PUBLIC ${_zstd})
  target_compile_definitions(zstd_decoder PRIVATE ${_zstd_definitions})
  target_compile_options(zstd_decoder PRIVATE -O2 -w)
  set_target_properties(zstd_decoder PROPERTIES POSITION_INDEPENDENT_CODE ON)

  find_package(Threads REQUIRED)
  add_library(zstd_full STATIC ${_zstd_common} ${_zstd_decoder} ${_zstd_encoder}
      ${_zstd}/common/pool.c ${_zstd}/common/threading.c)
  target_include_directories(zstd_full SYSTEM PUBLIC ${_zstd})
  target_compile_definitions(zstd_full PRIVATE ${_zstd_definitions} ZSTD_MULTITHREAD)
  target_compile_options(zstd_full PRIVATE -O2 -w)
  target_link_libraries(zstd_full PUBLIC Threads::Threads)
endif()
