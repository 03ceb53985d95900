# Shared part of the clang toolchain files: Debian's clang-19 and lld-19 with
# the sysroot scripts/toolchain-arm64.sh builds from Debian's sources (MinGW-w64
# headers and CRT, compiler-rt builtins, libunwind, libc++abi, libc++).
# ORVANE_TRIPLE names the target.
set(ORVANE_LLVM_BIN /usr/lib/llvm-19/bin)
if(DEFINED ENV{ORVANE_TOOLCHAIN_CACHE})
    set(ORVANE_TOOLCHAIN_CACHE "$ENV{ORVANE_TOOLCHAIN_CACHE}")
else()
    set(ORVANE_TOOLCHAIN_CACHE "$ENV{HOME}/.cache/orvane-toolchain")
endif()
if(NOT EXISTS "${ORVANE_TOOLCHAIN_CACHE}/sysroot/${ORVANE_TRIPLE}/lib/libc++.a")
    message(FATAL_ERROR "No clang sysroot for ${ORVANE_TRIPLE} in ${ORVANE_TOOLCHAIN_CACHE}: "
                        "run scripts/toolchain-arm64.sh (scripts/setup.sh does).")
endif()

set(CMAKE_C_COMPILER   ${ORVANE_LLVM_BIN}/clang)
set(CMAKE_CXX_COMPILER ${ORVANE_LLVM_BIN}/clang++)
set(CMAKE_C_COMPILER_TARGET   ${ORVANE_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ORVANE_TRIPLE})
set(CMAKE_SYSROOT ${ORVANE_TOOLCHAIN_CACHE}/sysroot)
set(CMAKE_AR     ${ORVANE_LLVM_BIN}/llvm-ar)
set(CMAKE_RANLIB ${ORVANE_LLVM_BIN}/llvm-ranlib)
# llvm-windres takes windres's options and hands them to clang's preprocessor.
set(CMAKE_RC_COMPILER ${ORVANE_LLVM_BIN}/llvm-windres)
set(CMAKE_RC_FLAGS_INIT "--target=${ORVANE_TRIPLE} --preprocessor-arg=--sysroot=${CMAKE_SYSROOT}")
set(ORVANE_CLANG_FLAGS "-resource-dir=${ORVANE_TOOLCHAIN_CACHE}/resource")
set(CMAKE_C_FLAGS_INIT   "${ORVANE_CLANG_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ORVANE_CLANG_FLAGS} -stdlib=libc++")
# -static keeps libc++, libunwind and the builtins inside each DLL and program:
# nothing but Windows' own DLLs is imported.
set(ORVANE_CLANG_LINK "-fuse-ld=lld -rtlib=compiler-rt -unwindlib=libunwind -stdlib=libc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${ORVANE_CLANG_FLAGS} ${ORVANE_CLANG_LINK}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ORVANE_CLANG_FLAGS} ${ORVANE_CLANG_LINK}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ORVANE_CLANG_FLAGS} ${ORVANE_CLANG_LINK}")

# Control Flow Guard in everything these toolchains build: clang instruments
# each indirect call and lld writes the table of valid call targets. The
# image's load configuration, which MinGW-w64 10's CRT lacks, comes from
# ShellExt/core/LoadConfig.c (ORVANE_CONTROL_FLOW_GUARD links it into every image).
set(ORVANE_CONTROL_FLOW_GUARD ON)
string(APPEND CMAKE_C_FLAGS_INIT " -mguard=cf")
string(APPEND CMAKE_CXX_FLAGS_INIT " -mguard=cf")
foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -mguard=cf")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${CMAKE_SYSROOT}/${ORVANE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
