# Windows on ARM64 with clang. Its programs run under Debian's arm64 Wine on
# qemu (scripts/wine-arm64.sh), which the tests choose with
# ORVANE_WINE_MACHINE=arm64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(ORVANE_TRIPLE aarch64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
