# Cross toolchain for the 64-bit build of the same sources. The product ships
# as 32-bit (mingw-i686.cmake); this build exists for hosts whose kernel runs
# 64-bit user code only, where Wine cannot start a 32-bit program and the
# tests run the 64-bit programs instead (scripts/run-arch).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
