# The x64 DLLs built with clang, libc++ and libunwind instead of GCC and
# libstdc++: the same runtime as the ARM64 build, on an architecture Wine runs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANE_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
