# Windows on ARM64 with clang. No emulator: nothing built here can run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(ORVANE_TRIPLE aarch64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
