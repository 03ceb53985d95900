#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 wine32:i386
    xvfb xauth imagemagick zip unzip
    cmake ninja-build googletest
    g++ clang libclang-rt-14-dev python3 openssl
    wixl msitools
    clang-19 lld-19 llvm-19 dpkg-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ "${need_update:-0}" = 1 ]; then
    "${sudo_cmd[@]}" apt-get update -q
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
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${release[@]}" osslsigncode
    osslsigncode_recent || { echo "setup: osslsigncode 2.7 or later is needed to sign packages" >&2; exit 1; }
fi
echo "setup: all packages present"
# The clang sysroot for the ARM64 and clang x64 builds, made once from
# Debian's sources into a cache outside the checkout.
bash "$(dirname "$0")/toolchain-arm64.sh"
