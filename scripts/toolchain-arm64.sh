#!/usr/bin/env bash
# Builds, once, the clang sysroot for the ARM64 build (aarch64-w64-mingw32) and
# for the clang build of the x64 DLLs (x86_64-w64-mingw32), from Debian's
# archive only:
#   - for ARM64, MinGW-w64 headers and CRT from the `mingw-w64` source package
#     of the same version as the installed MinGW-w64 packages (Debian builds
#     them only for x86 and x64; for x64 its binary package of that same
#     source is linked in instead, which saves the longest step);
#   - for both, compiler-rt's builtins, libunwind, libc++abi and libc++ from
#     the `llvm-toolchain-19` source package of the same version as the
#     installed clang-19, built with that clang-19 and lld-19.
# clang 19 because it is the newest LLVM in Debian 12's main archive (the
# clang-22 of bookworm-security exists for browser builds and moves with their
# security updates), and its aarch64 MinGW support (SEH unwinding, libc++ on
# the Win32 thread API, lld's ARM64 PE output) is mature; 19 is also what
# llvm-mingw shipped for Windows on ARM for a year.
#
# Result, outside the checkout (ORVANE_TOOLCHAIN_CACHE, default
# ~/.cache/orvane-toolchain):
#   sysroot/<triple>/{include,lib}   headers, CRT, libc++ (clang's MinGW driver
#                                    looks there when given --sysroot=sysroot)
#   resource/                        clang-19's resource directory plus the
#                                    builtins for both targets (-resource-dir)
#   stamp-<triple>                   versions and recipe each was made from
# A second run compares the stamps and returns in well under a second.
set -euo pipefail

cache=${ORVANE_TOOLCHAIN_CACHE:-$HOME/.cache/orvane-toolchain}
triples=(aarch64-w64-mingw32 x86_64-w64-mingw32)
llvm_bin=/usr/lib/llvm-19/bin
jobs=${ORVANE_TOOLCHAIN_JOBS:-2}

source_version() { dpkg-query -W -f='${source:Version}' "$1"; }
llvm_version=$(source_version clang-19)
mingw_version=$(source_version mingw-w64-common)
debian_mingw=/usr/x86_64-w64-mingw32
# Raise it when the steps below change: the sysroots are then built again.
recipe=1
key_of() { echo "llvm-toolchain-19=$llvm_version mingw-w64=$mingw_version recipe=$recipe target=$1"; }

todo=()
for triple in "${triples[@]}"; do
    [ "$(cat "$cache/stamp-$triple" 2>/dev/null)" = "$(key_of "$triple")" ] || todo+=("$triple")
done
if [ ${#todo[@]} -eq 0 ]; then
    echo "toolchain-arm64: up to date in $cache"
    exit 0
fi

started=$SECONDS
work=$cache/work
downloads=$cache/downloads
sysroot=$cache/sysroot
resource=$cache/resource
# Only what this script makes is removed: the cache folder may be given.
rm -rf "$work"
mkdir -p "$work" "$sysroot"

# A private apt configuration with one deb-src entry for bookworm: the machine's
# own sources stay untouched. The downloads are kept, so a change of recipe
# alone does not fetch 170 MB again.
fetch_sources() {
    local apt=$downloads/apt
    if [ -f "$downloads/mingw-w64_${mingw_version#*:}.dsc" ] &&
       [ -f "$downloads/llvm-toolchain-19_${llvm_version#*:}.dsc" ]; then
        return
    fi
    rm -rf "$downloads"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
    cat > "$apt/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
    local opts=(-q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
                -o APT::Sandbox::User="$(id -un)")
    apt-get "${opts[@]}" update >/dev/null
    (cd "$downloads" && apt-get "${opts[@]}" source --download-only \
        "mingw-w64=$mingw_version" "llvm-toolchain-19=$llvm_version" >/dev/null)
}

extract_sources() {
    # apt checked the files against the archive's signed index; dpkg-source
    # applies Debian's patches to mingw-w64 (its warning about the uploader's
    # key, which is not on this machine, is noise).
    dpkg-source -q -x "$downloads"/mingw-w64_*.dsc "$work/mingw-w64" >/dev/null 2>&1
    # Only the runtimes' part of the 164 MB LLVM tarball is needed.
    local tarball top
    tarball=$(echo "$downloads"/llvm-toolchain-19_*.orig.tar.xz)
    top=$(basename "$tarball" .orig.tar.xz)
    mkdir -p "$work/llvm"
    tar -xf "$tarball" -C "$work/llvm" --strip-components=1 \
        "${top}/compiler-rt" "${top}/libunwind" "${top}/libcxxabi" "${top}/libcxx" "${top}/runtimes" \
        "${top}/cmake" "${top}/llvm/cmake" "${top}/llvm/utils" "${top}/third-party"
}

cflags_for() { echo "--target=$1 --sysroot=$sysroot -resource-dir=$resource"; }

build_mingw() {
    local triple=$1 arch=${1%%-*}
    local crt_flags=(--disable-lib32 --disable-lib64 --disable-libarm32 --enable-libarm64)
    local tools=(CC="$llvm_bin/clang $(cflags_for "$triple")" AR="$llvm_bin/llvm-ar" RANLIB="$llvm_bin/llvm-ranlib"
                 DLLTOOL="$llvm_bin/llvm-dlltool")
    mkdir -p "$work/headers-$arch" "$work/crt-$arch"
    (cd "$work/headers-$arch" &&
        "$work/mingw-w64/mingw-w64-headers/configure" -q --host="$triple" --prefix="$sysroot/$triple" \
            --with-default-msvcrt=msvcrt --with-default-win32-winnt=0x601 >/dev/null &&
        make -s install >/dev/null)
    (cd "$work/crt-$arch" &&
        "$work/mingw-w64/mingw-w64-crt/configure" -q --host="$triple" --prefix="$sysroot/$triple" \
            --with-default-msvcrt=msvcrt "${crt_flags[@]}" "${tools[@]}" >/dev/null &&
        make -s -j"$jobs" >/dev/null 2>&1 && make -s install >/dev/null)
}

# Debian's own x64 headers and CRT (package mingw-w64-x86-64-dev, built from
# the same source package): every file linked, so that libc++ installs beside
# them without touching /usr.
link_debian_mingw() {
    mkdir -p "$sysroot/$1"
    cp -rs "$debian_mingw/include" "$debian_mingw/lib" "$sysroot/$1/"
}

cmake_cross() {
    local triple=$1; shift
    cmake -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_SYSTEM_PROCESSOR="${triple%%-*}" \
        -DCMAKE_C_COMPILER="$llvm_bin/clang" -DCMAKE_CXX_COMPILER="$llvm_bin/clang++" \
        -DCMAKE_ASM_COMPILER="$llvm_bin/clang" \
        -DCMAKE_C_COMPILER_TARGET="$triple" -DCMAKE_CXX_COMPILER_TARGET="$triple" -DCMAKE_ASM_COMPILER_TARGET="$triple" \
        -DCMAKE_C_FLAGS="--sysroot=$sysroot -resource-dir=$resource" \
        -DCMAKE_CXX_FLAGS="--sysroot=$sysroot -resource-dir=$resource" \
        -DCMAKE_ASM_FLAGS="--sysroot=$sysroot -resource-dir=$resource" \
        -DCMAKE_AR="$llvm_bin/llvm-ar" -DCMAKE_RANLIB="$llvm_bin/llvm-ranlib" \
        -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_CXX_COMPILER_WORKS=ON \
        -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= "$@" >/dev/null
}

build_builtins() {
    local triple=$1 dir=$work/builtins-${1%%-*}
    mkdir -p "$dir"
    (cd "$dir" &&
        cmake_cross "$triple" -DCMAKE_INSTALL_PREFIX="$resource" -DCOMPILER_RT_DEFAULT_TARGET_ONLY=ON \
            -DCOMPILER_RT_BUILD_BUILTINS=ON -DCOMPILER_RT_USE_BUILTINS_LIBRARY=ON -DLLVM_CONFIG_PATH= \
            -DLLVM_ENABLE_PER_TARGET_RUNTIME_DIR=OFF "$work/llvm/compiler-rt/lib/builtins" &&
        ninja -j"$jobs" install >/dev/null)
}

build_runtimes() {
    local triple=$1 dir=$work/runtimes-${1%%-*}
    mkdir -p "$dir"
    (cd "$dir" &&
        cmake_cross "$triple" -DCMAKE_INSTALL_PREFIX="$sysroot/$triple" \
            -DCMAKE_CXX_FLAGS="--sysroot=$sysroot -resource-dir=$resource -rtlib=compiler-rt" \
            -DLLVM_ENABLE_RUNTIMES="libunwind;libcxxabi;libcxx" -DLLVM_INCLUDE_TESTS=OFF \
            -DLIBUNWIND_USE_COMPILER_RT=ON -DLIBUNWIND_ENABLE_SHARED=OFF -DLIBUNWIND_ENABLE_STATIC=ON \
            -DLIBCXXABI_USE_COMPILER_RT=ON -DLIBCXXABI_USE_LLVM_UNWINDER=ON -DLIBCXXABI_ENABLE_SHARED=OFF \
            -DLIBCXXABI_ENABLE_STATIC=ON -DLIBCXXABI_LIBDIR_SUFFIX= -DLIBCXXABI_HAS_WIN32_THREAD_API=ON \
            -DLIBCXX_USE_COMPILER_RT=ON -DLIBCXX_ENABLE_SHARED=OFF -DLIBCXX_ENABLE_STATIC=ON \
            -DLIBCXX_ENABLE_STATIC_ABI_LIBRARY=ON -DLIBCXX_CXX_ABI=libcxxabi -DLIBCXX_LIBDIR_SUFFIX= \
            -DLIBCXX_HAS_WIN32_THREAD_API=ON -DLIBCXX_INCLUDE_TESTS=OFF -DLIBCXX_INCLUDE_BENCHMARKS=OFF \
            -DLIBCXX_ENABLE_ABI_LINKER_SCRIPT=OFF "$work/llvm/runtimes" &&
        ninja -j"$jobs" install >/dev/null)
}

step() { echo "toolchain-arm64: $1 ($((SECONDS - started)) s)"; }

step "fetching mingw-w64 $mingw_version and llvm-toolchain-19 $llvm_version from Debian's archive"
fetch_sources
extract_sources
rm -rf "$resource/include"
mkdir -p "$resource/lib/windows"
cp -r "$("$llvm_bin/clang" -print-resource-dir)/include" "$resource/"
for triple in "${todo[@]}"; do
    rm -rf "${sysroot:?}/$triple" "$cache/stamp-$triple" "$resource/lib/windows/libclang_rt.builtins-${triple%%-*}.a"
    if [ "$triple" = x86_64-w64-mingw32 ]; then
        step "$triple: Debian's MinGW-w64 headers and CRT, linked in"
        link_debian_mingw "$triple"
    else
        step "$triple: MinGW-w64 headers and CRT"
        build_mingw "$triple"
    fi
    step "$triple: compiler-rt builtins"
    build_builtins "$triple"
    step "$triple: libunwind, libc++abi, libc++"
    build_runtimes "$triple"
    key_of "$triple" > "$cache/stamp-$triple"
done
rm -rf "$work"
step "done in $cache"
