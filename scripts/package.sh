#!/usr/bin/env bash
# Builds the release package: both DLLs, the install and uninstall scripts
# for Windows and the install guide, zipped as
# build/release/Orvane-ShellExt-<version>.zip, and the Windows Installer
# packages Orvane-ShellExt-<version>-x64.msi and -x86.msi (scripts/msi.sh).
#
#   package.sh                       builds both DLLs, then packages them
#   package.sh --dll64 F --dll32 F   packages these DLLs (no build)
#   package.sh --out DIR             writes the packages into DIR
#   package.sh --zip-only            leaves out the MSIs
#
# ORVANE_BUILD_ROOT (default: build) says where the build trees are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_root=${ORVANE_BUILD_ROOT:-$root/build}
out=$build_root/release
dll64=
dll32=
zip_only=

while [ $# -gt 0 ]; do
    case $1 in
    --dll64) dll64=$2; shift 2 ;;
    --dll32) dll32=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --zip-only) zip_only=1; shift ;;
    *) echo "usage: $0 [--dll64 FILE --dll32 FILE] [--out DIR] [--zip-only]" >&2; exit 2 ;;
    esac
done

version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
name=Orvane-ShellExt-$version

if [ -z "$dll64" ] && [ -z "$dll32" ]; then
    for preset in win64 win32; do
        cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
    done
    cmake --build "$build_root/win64" -j2 --target OrvaneShlExt64F
    cmake --build "$build_root/win32" -j2 --target OrvaneShlExt32F
    dll64=$build_root/win64/bin/OrvaneShlExt64F.dll
    dll32=$build_root/win32/bin/OrvaneShlExt32F.dll
fi

# A DLL that Explorer cannot load, or that cannot register itself, must not
# ship: check the exports and that it needs nothing beyond Windows itself.
check_dll() {
    local dll=$1 objdump=$2 format=$3
    [ -f "$dll" ] || { echo "package: $dll is missing" >&2; exit 1; }
    local headers
    headers=$("$objdump" -p "$dll")
    grep -q "file format $format" <<<"$("$objdump" -f "$dll")" ||
        { echo "package: $dll is not $format" >&2; exit 1; }
    local export
    for export in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer DllInstall; do
        grep -qw "$export" <<<"$headers" || { echo "package: $dll does not export $export" >&2; exit 1; }
    done
    local runtime
    runtime=$(grep -oiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)[^ ]*' <<<"$headers" || true)
    [ -z "$runtime" ] || { echo "package: $dll needs the MinGW runtime ($runtime)" >&2; exit 1; }
}
check_dll "$dll64" x86_64-w64-mingw32-objdump pei-x86-64
check_dll "$dll32" i686-w64-mingw32-objdump pei-i386

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name"
# Symbols only make the download bigger; the code is the one tested.
x86_64-w64-mingw32-strip -o "$stage/$name/OrvaneShlExt64F.dll" "$dll64"
i686-w64-mingw32-strip -o "$stage/$name/OrvaneShlExt32F.dll" "$dll32"
# Windows tools expect CR LF line ends in scripts and text files.
for f in install.cmd install-user.cmd uninstall.cmd uninstall-user.cmd INSTALL.txt; do
    sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "tools/release/$f" >"$stage/$name/$f"
done
# Fixed times, so that the same inputs give the same zip.
find "$stage/$name" -exec touch -d '2026-01-01 00:00:00' {} +

mkdir -p "$out"
zip_file=$(cd "$out" && pwd)/$name.zip
rm -f "$zip_file"
(cd "$stage" && zip -q -X -r "$zip_file" "$name")

# The MSIs; the x64 one also carries the Windows 11 menu when it was built.
if [ -z "$zip_only" ]; then
    cmd_dll=$(dirname "$dll64")/OrvaneShlExtCmd64F.dll
    msix=$out/$name.msix
    win11=()
    if [ -f "$cmd_dll" ] && [ -f "$msix" ]; then win11=(--cmd-dll "$cmd_dll" --msix "$msix"); fi
    bash scripts/msi.sh --arch x64 --dll64 "$dll64" --dll32 "$dll32" "${win11[@]}" --out "$out"
    bash scripts/msi.sh --arch x86 --dll32 "$dll32" --out "$out"
fi
echo "$zip_file"
