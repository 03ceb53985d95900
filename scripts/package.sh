#!/usr/bin/env bash
# Builds the release: both DLLs, the Windows 11 command DLL and its signed
# sparse package, the companion program OrvaneShellExt.exe (64-bit; the
# package's application) (Orvane-ShellExt-<version>.msix), the install and uninstall
# scripts for Windows and the install guide, zipped as
# build/release/Orvane-ShellExt-<version>.zip; the .msix is also left beside
# the zip, with the Windows Installer packages Orvane-ShellExt-<version>-x64.msi
# and -x86.msi (scripts/msi.sh). All DLLs and packages are signed
# (tools/package/sign.sh): with ORVANE_SIGN_PFX and ORVANE_SIGN_PASS if set,
# otherwise with a throwaway test certificate whose public part is left as
# Orvane-Test-Signing.cer beside the zip (and in it).
#
#   package.sh                       builds the DLLs, then packages them
#   package.sh --dll64 F --dll32 F   packages these DLLs (no build)
#   package.sh --dllcmd F            the command DLL to package (default: the
#                                    one beside the 64-bit DLL)
#   package.sh --exe64 F --exe32 F   the companion programs (default: the ones
#                                    beside the DLLs of the same bitness)
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
dllcmd=
exe64=
exe32=
zip_only=
appx() { python3 tools/package/appx.py "$@"; }

while [ $# -gt 0 ]; do
    case $1 in
    --dll64) dll64=$2; shift 2 ;;
    --dll32) dll32=$2; shift 2 ;;
    --dllcmd) dllcmd=$2; shift 2 ;;
    --exe64) exe64=$2; shift 2 ;;
    --exe32) exe32=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --zip-only) zip_only=1; shift ;;
    *) echo "usage: $0 [--dll64 FILE --dll32 FILE] [--dllcmd FILE] [--exe64 FILE --exe32 FILE] [--out DIR] [--zip-only]" >&2; exit 2 ;;
    esac
done

version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
name=Orvane-ShellExt-$version
cmd_name=$(appx dll)

build_dlls() {
    local preset
    for preset in win64 win32; do
        cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
    done
    cmake --build "$build_root/win64" -j2 --target OrvaneShlExt64F OrvaneShellExt
    cmake --build "$build_root/win32" -j2 --target OrvaneShlExt32F OrvaneShellExt
    dll64=$build_root/win64/bin/OrvaneShlExt64F.dll
    dll32=$build_root/win32/bin/OrvaneShlExt32F.dll
    if [ -z "$dllcmd" ]; then
        cmake --build "$build_root/win64" --target help | grep -q "^${cmd_name%.dll}:" ||
            { echo "package: this tree builds no ${cmd_name%.dll}; pass --dllcmd FILE" >&2; exit 1; }
        cmake --build "$build_root/win64" -j2 --target "${cmd_name%.dll}"
    fi
}
if [ -z "$dll64" ] && [ -z "$dll32" ]; then build_dlls; fi
dllcmd=${dllcmd:-$(dirname "$dll64")/$cmd_name}
exe64=${exe64:-$(dirname "$dll64")/OrvaneShellExt.exe}
exe32=${exe32:-$(dirname "$dll32")/OrvaneShellExt.exe}

# A DLL that Explorer cannot load, or that cannot register itself, must not
# ship: check the exports and that it needs nothing beyond Windows itself.
check_dll() {
    local dll=$1 objdump=$2 format=$3
    shift 3
    [ -f "$dll" ] || { echo "package: $dll is missing" >&2; exit 1; }
    local headers
    headers=$("$objdump" -p "$dll")
    grep -q "file format $format" <<<"$("$objdump" -f "$dll")" ||
        { echo "package: $dll is not $format" >&2; exit 1; }
    local export
    for export in DllGetClassObject DllCanUnloadNow "$@"; do
        grep -qw "$export" <<<"$headers" || { echo "package: $dll does not export $export" >&2; exit 1; }
    done
    local runtime
    runtime=$(grep -oiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)[^ ]*' <<<"$headers" || true)
    [ -z "$runtime" ] || { echo "package: $dll needs the MinGW runtime ($runtime)" >&2; exit 1; }
}
self_registering=(DllRegisterServer DllUnregisterServer DllInstall)
check_dll "$dll64" x86_64-w64-mingw32-objdump pei-x86-64 "${self_registering[@]}"
check_dll "$dll32" i686-w64-mingw32-objdump pei-i386 "${self_registering[@]}"
# The command is declared by the package, never registered by itself.
check_dll "$dllcmd" x86_64-w64-mingw32-objdump pei-x86-64
# The companion program: a Windows GUI program on Windows' own DLLs.
check_exe() {
    local exe=$1 objdump=$2 format=$3 headers runtime
    [ -f "$exe" ] || { echo "package: $exe is missing" >&2; exit 1; }
    grep -q "file format $format" <<<"$("$objdump" -f "$exe")" || { echo "package: $exe is not $format" >&2; exit 1; }
    headers=$("$objdump" -p "$exe")
    grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || { echo "package: $exe is not a window-less GUI program" >&2; exit 1; }
    runtime=$(grep -oiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)[^ ]*' <<<"$headers" || true)
    [ -z "$runtime" ] || { echo "package: $exe needs the MinGW runtime ($runtime)" >&2; exit 1; }
}
check_exe "$exe64" x86_64-w64-mingw32-objdump pei-x86-64
if [ -z "$zip_only" ]; then check_exe "$exe32" i686-w64-mingw32-objdump pei-i386; fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/$name
mkdir -p "$folder" "$out"
out=$(cd "$out" && pwd)
signing=$stage/signing

# Symbols only make the download bigger; the code is the one tested.
stage_dlls() {
    x86_64-w64-mingw32-strip -o "$folder/OrvaneShlExt64F.dll" "$dll64"
    i686-w64-mingw32-strip -o "$folder/OrvaneShlExt32F.dll" "$dll32"
    x86_64-w64-mingw32-strip -o "$folder/OrvaneShellExt.exe" "$exe64"
    # The package's external location: a folder of its own (registration
    # changes its permissions) with the command DLL and the program the
    # package names.
    mkdir -p "$folder/Windows11"
    x86_64-w64-mingw32-strip -o "$folder/Windows11/$cmd_name" "$dllcmd"
}

# Windows tools expect CR LF line ends in scripts and text files.
stage_texts() {
    local f package_name lifetime
    package_name=$(appx name)
    # A signature without a timestamp is valid only while its certificate is.
    if [ -n "${ORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
        lifetime="The signatures carry a timestamp: they stay valid after the certificate expires."
    else
        lifetime="The signatures carry no timestamp: they end with the certificate."
    fi
    for f in install.cmd install-user.cmd uninstall.cmd uninstall-user.cmd INSTALL.txt; do
        sed -e "s/@VERSION@/$version/g" -e "s/@PACKAGE_NAME@/$package_name/g" -e "s/@SIGNATURE_LIFETIME@/$lifetime/g" \
            -e 's/\r$//' -e 's/$/\r/' "tools/release/$f" >"$folder/$f"
    done
}

# The DLLs and the sparse package, signed by one certificate whose subject
# is the package's Publisher.
sign_and_build_msix() {
    local cer=$out/Orvane-Test-Signing.cer publisher
    rm -f "$cer"
    publisher=$(bash tools/package/sign.sh identity "$signing" "$cer")
    bash tools/package/sign.sh sign "$signing" "$folder"/*.dll "$folder/Windows11/$cmd_name" "$folder/OrvaneShellExt.exe"
    cp "$folder/OrvaneShellExt.exe" "$folder/Windows11/"
    appx build --publisher "$publisher" "$folder/$name.msix"
    bash tools/package/sign.sh sign "$signing" "$folder/$name.msix"
    cp -f "$folder/$name.msix" "$out/$name.msix"
    if [ -f "$cer" ]; then cp "$cer" "$folder/"; fi
}

# Fixed file times, so that unchanged files look the same in every release.
zip_folder() {
    find "$folder" -exec touch -d '2026-01-01 00:00:00' {} +
    zip_file=$out/$name.zip
    rm -f "$zip_file"
    (cd "$stage" && zip -q -X -r "$zip_file" "$name")
}

# The MSIs, signed with the same identity; the x64 one also carries the
# Windows 11 command and its package.
build_msis() {
    bash scripts/msi.sh --arch x64 --signing "$signing" --dll64 "$dll64" --dll32 "$dll32" \
        --cmd-dll "$dllcmd" --msix "$out/$name.msix" --exe "$exe64" --out "$out"
    bash scripts/msi.sh --arch x86 --signing "$signing" --dll32 "$dll32" --exe "$exe32" --out "$out"
}

stage_dlls
stage_texts
sign_and_build_msix
zip_folder

if [ -z "$zip_only" ]; then build_msis; fi
echo "$zip_file"
