#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64
    xvfb xauth imagemagick zip unzip
    cmake ninja-build googletest
    g++ clang libclang-rt-14-dev python3 openssl python3-jsonschema python3-yaml libxml2-utils
    wixl msitools
    clang-19 lld-19 llvm-19 dpkg-dev
    qemu-user-static
)
# Only the 32-bit DLL's test runs need these; without them the test command
# runs the 64-bit tests alone, as on a kernel that cannot run 32-bit code.
packages_32bit=(wine32:i386)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# A mirror caught in the middle of a sync serves an index of the wrong size
# for one suite or architecture, and apt-get update then exits 100 although
# every other index is fine. Try once more, then go on with what was read:
# whether what we need can be installed is decided by the install itself.
update_done=0
apt_update() {
    [ "$update_done" = 1 ] && return 0
    update_done=1
    "${sudo_cmd[@]}" apt-get update -q && return 0
    echo "setup: apt-get update failed; trying once more" >&2
    sleep "${ORVANE_SETUP_RETRY_DELAY:-5}"
    "${sudo_cmd[@]}" apt-get update -q && return 0
    echo "setup: apt-get update failed twice; going on with the package index as it is" >&2
}

apt_install() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "$@"
}

# The packages of the list given that are not installed.
missing_of() {
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            echo "$p"
        fi
    done
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    update_done=0
    apt_update
fi

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_32bit < <(missing_of "${packages_32bit[@]}")
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_32bit[@]} -gt 0 ]; then
    apt_update
fi
if [ ${#missing[@]} -gt 0 ] && ! apt_install "${missing[@]}"; then
    echo "setup: cannot install what the build and the 64-bit tests need: ${missing[*]}" >&2
    exit 1
fi
# The 32-bit DLL's type library imports Wine's 32-bit stdole2.tlb
# (cmake/TypeLibrary.cmake): without 32-bit Wine, that one file is taken from
# its package into the toolchain cache, so that the 32-bit DLL still builds.
stdole_i386() {
    local dir=${ORVANE_TOOLCHAIN_CACHE:-$HOME/.cache/orvane-toolchain}/wine-i386
    [ -f "$dir/stdole2.tlb" ] && return 0
    rm -rf "$dir" && mkdir -p "$dir" &&
        (cd "$dir" && apt-get download -q libwine:i386 >/dev/null) &&
        dpkg-deb --fsys-tarfile "$dir"/libwine_*.deb |
        tar -xO ./usr/lib/i386-linux-gnu/wine/i386-windows/stdole2.tlb >"$dir/stdole2.tlb.part" &&
        mv "$dir/stdole2.tlb.part" "$dir/stdole2.tlb" && rm -f "$dir"/libwine_*.deb
}
if [ ${#missing_32bit[@]} -gt 0 ] && ! apt_install "${missing_32bit[@]}"; then
    echo "setup: the 32-bit Wine packages (${missing_32bit[*]}) cannot be installed here; the tests run for 64-bit programs only" >&2
    stdole_i386 || echo "setup: no 32-bit stdole2.tlb either: the 32-bit DLL cannot be built here" >&2
fi
# Signing the sparse package needs osslsigncode 2.7 or later; Debian 12
# ships 2.5, its backports a later one.
osslsigncode_recent() {
    dpkg --compare-versions "$(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null || echo 0)" ge 2.7
}
if ! osslsigncode_recent; then
    release=()
    if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ]; then
        echo "deb http://deb.debian.org/debian bookworm-backports main" |
            "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
        release=(-t bookworm-backports)
    fi
    update_done=0
    apt_update
    apt_install "${release[@]}" osslsigncode || true
    osslsigncode_recent || { echo "setup: osslsigncode 2.7 or later is needed to sign packages" >&2; exit 1; }
fi
echo "setup: all packages present"
# The clang sysroot for the ARM64 and clang x64 builds, made once from
# Debian's sources into a cache outside the checkout.
bash "$(dirname "$0")/toolchain-arm64.sh"
# Debian's arm64 Wine on qemu, which runs the ARM64 build's tests.
bash "$(dirname "$0")/wine-arm64.sh"
