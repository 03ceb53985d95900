#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 wine32:i386
    xvfb xauth imagemagick zip unzip
    cmake ninja-build googletest
    g++ clang libclang-rt-14-dev python3
    wixl msitools osslsigncode openssl
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
echo "setup: all packages present"
