# The x64 DLLs built with clang, libc++ and libunwind instead of GCC and
# libstdc++: the same runtime as the ARM64 build, on an architecture Wine runs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANE_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
# Compatible with hardware shadow stacks (CET): Windows may then enforce them
# for our code in a process that asks for it. x64 only; ARM64 has no CET.
foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -Wl,-Xlink=-cetcompat")
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
