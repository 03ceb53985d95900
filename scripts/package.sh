#!/usr/bin/env bash
# Builds the release: the classic DLL for x64, x86 and ARM64 Windows; the
# Windows 11 command DLL for x64 and ARM64, each with the companion program
# OrvaneShellExt.exe of its architecture (the package's application) and a
# signed sparse package (Orvane-ShellExt-<version>.msix for x64,
# -arm64.msix); the install and uninstall scripts for Windows and the install
# guide; zipped as build/release/Orvane-ShellExt-<version>.zip. The sparse
# packages are also left beside the zip, with the Windows Installer packages
# Orvane-ShellExt-<version>-x64.msi, -arm64.msi and -x86.msi (scripts/msi.sh),
# their winget manifests (winget/Kelvoss.Orvane.ShellExt/<version>/, written by
# tools/package/winget.py) and the administrative templates (policy/, also in
# the zip).
# All DLLs, programs and packages are signed (tools/package/sign.sh): with
# ORVANE_SIGN_PFX and ORVANE_SIGN_PASS if set, otherwise with a throwaway test
# certificate whose public part is left as Orvane-Test-Signing.cer beside the
# zip (and in it). The x64 and ARM64 files are clang's, with Control Flow
# Guard; the x86 ones GCC's. Every program and DLL in the zip, the sparse
# packages and the MSIs is checked for the hardening Windows looks for
# (tools/package/peimage.py check) before the script succeeds. SHA256SUMS lists
# every file beside the zip, and Orvane-ShellExt-<version>.spdx.json is the
# bill of materials: each shipped program and DLL with its hashes, and the
# runtimes linked into it.
#
# The same commit gives the same bytes, in any folder and at any time (before
# signing): times come from SOURCE_DATE_EPOCH, the commit's time by default.
#
#   package.sh                       builds the DLLs, then packages them
#   package.sh --release             a release (also ORVANE_RELEASE=1): stops
#                                    unless every signature is the publisher's
#                                    and carries a timestamp
#   package.sh --unsigned            signs nothing (also ORVANE_UNSIGNED=1):
#                                    a rebuild to compare with a release
#   package.sh --dll64 F --dll32 F   packages these DLLs (no build)
#   package.sh --dll-arm64 F         the ARM64 DLL (default: the one in the
#                                    win-arm64 build tree)
#   package.sh --dllcmd F            the x64 command DLL to package (default:
#                                    the one beside the 64-bit DLL)
#   package.sh --dllcmd-arm64 F      the ARM64 one (default: the one beside
#                                    the ARM64 DLL)
#   package.sh --exe64 F --exe32 F --exe-arm64 F
#                                    the companion programs (default: the ones
#                                    beside the DLLs of the same architecture)
#   package.sh --out DIR             writes the packages into DIR
#   package.sh --zip-only            leaves out the MSIs
#   package.sh --rows-tool F         the MSIs' registry rows' generator
#                                    (default: built in the native tree)
#
# ORVANE_BUILD_ROOT (default: build) says where the build trees are.
source "$(dirname "$0")/common.sh"
out=$build_root/release
dll64= dll32= dll_arm64= dllcmd= dllcmd_arm64= exe64= exe32= exe_arm64= zip_only= release= unsigned= rows_tool=
usage() {
    echo "usage: $0 [--dll64 FILE --dll32 FILE] [--dll-arm64 FILE] [--dllcmd FILE] [--dllcmd-arm64 FILE]" \
        "[--exe64 FILE --exe32 FILE --exe-arm64 FILE] [--out DIR] [--zip-only] [--release] [--unsigned] [--rows-tool FILE]" >&2
    exit 2
}
read_options dll64= dll32= dll-arm64= dllcmd= dllcmd-arm64= exe64= exe32= exe-arm64= out= zip-only release unsigned rows-tool= -- "$@"
appx() { python3 tools/package/appx.py "$@"; }
release_tool() { python3 tools/package/release.py "$@"; }
if [ -n "$release" ]; then export ORVANE_RELEASE=1; fi
if [ -n "$unsigned" ]; then export ORVANE_UNSIGNED=1; fi
bash tools/package/sign.sh check
export_source_date_epoch

version=$(appx version)
name=Orvane-ShellExt-$version
cmd_name=$(appx dll)
cmd_name_arm64=$(appx dll --arch arm64)

build_dlls() {
    local preset
    for preset in win64-clang win32 win-arm64; do
        cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
    done
    cmake --build "$build_root/win64-clang" -j2 --target OrvaneShlExt64F OrvaneShellExt
    cmake --build "$build_root/win32" -j2 --target OrvaneShlExt32F OrvaneShellExt
    cmake --build "$build_root/win-arm64" -j2 --target OrvaneShlExtA64F OrvaneShellExt "${cmd_name_arm64%.dll}"
    dll64=$build_root/win64-clang/bin/OrvaneShlExt64F.dll
    dll32=$build_root/win32/bin/OrvaneShlExt32F.dll
    if [ -z "$dllcmd" ]; then
        cmake --build "$build_root/win64-clang" --target help | grep -q "^${cmd_name%.dll}:" ||
            { echo "package: this tree builds no ${cmd_name%.dll}; pass --dllcmd FILE" >&2; exit 1; }
        cmake --build "$build_root/win64-clang" -j2 --target "${cmd_name%.dll}"
    fi
}
if [ -z "$dll64" ] && [ -z "$dll32" ]; then build_dlls; fi
dll64=$(absolute "$dll64") dll32=$(absolute "$dll32") out=$(absolute "$out")
dll_arm64=$(absolute "${dll_arm64:-$build_root/win-arm64/bin/OrvaneShlExtA64F.dll}")
dllcmd=$(absolute "${dllcmd:-$(dirname "$dll64")/$cmd_name}")
dllcmd_arm64=$(absolute "${dllcmd_arm64:-$(dirname "$dll_arm64")/$cmd_name_arm64}")
exe64=$(absolute "${exe64:-$(dirname "$dll64")/OrvaneShellExt.exe}")
exe32=$(absolute "${exe32:-$(dirname "$dll32")/OrvaneShellExt.exe}")
exe_arm64=$(absolute "${exe_arm64:-$(dirname "$dll_arm64")/OrvaneShellExt.exe}")

# A file that Windows cannot load where it goes, or a DLL that cannot
# register itself, must not ship: machine type, exports, and nothing needed
# beyond Windows itself.
shipped() { local IFS=$'\t'; echo "$*"; }
self_registering=(DllRegisterServer DllUnregisterServer DllInstall)
{
    shipped "$dll64" x64 "${self_registering[@]}"
    shipped "$dll32" x86 "${self_registering[@]}"
    shipped "$dll_arm64" arm64 "${self_registering[@]}"
    # The command is declared by the package, never registered by itself.
    shipped "$dllcmd" x64
    shipped "$dllcmd_arm64" arm64
    shipped "$exe64" x64 gui
    shipped "$exe_arm64" arm64 gui
    if [ -z "$zip_only" ]; then shipped "$exe32" x86 gui; fi
} | python3 tools/package/peimage.py check || exit 1

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/$name
mkdir -p "$folder" "$out"
signing=$stage/signing
# One certificate signs everything; its subject is the packages' Publisher.
cer=$out/Orvane-Test-Signing.cer
rm -f "$cer"
publisher=$(bash tools/package/sign.sh identity "$signing" "$cer")

# Each package's external location is a folder of its own (registration
# changes its permissions) with the command DLL and the program the package
# names, of one architecture; install.cmd picks the machine's.
ship() { bash tools/package/sign.sh strip-and-sign "$signing" "$1" "$folder/$2"; }
stage_programs() {
    mkdir -p "$folder/Windows11" "$folder/Windows11-ARM64"
    ship "$dll64" OrvaneShlExt64F.dll
    ship "$dll32" OrvaneShlExt32F.dll
    ship "$dll_arm64" OrvaneShlExtA64F.dll
    ship "$exe64" OrvaneShellExt.exe
    cp "$folder/OrvaneShellExt.exe" "$folder/Windows11/"
    ship "$dllcmd" "Windows11/$cmd_name"
    ship "$exe_arm64" Windows11-ARM64/OrvaneShellExt.exe
    ship "$dllcmd_arm64" "Windows11-ARM64/$cmd_name_arm64"
}

# Windows tools expect CR LF line ends in scripts and text files.
stage_texts() {
    local f package_name lifetime build_label
    package_name=$(appx name)
    build_label=$(bash tools/package/sign.sh label)
    # A signature without a timestamp is valid only while its certificate is.
    if [ -n "${ORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
        lifetime="The signatures carry a timestamp: they stay valid after the certificate expires."
    else
        lifetime="The signatures carry no timestamp: they end with the certificate."
    fi
    for f in install.cmd install-user.cmd uninstall.cmd uninstall-user.cmd platform.cmd INSTALL.txt; do
        sed -e "s/@VERSION@/$version/g" -e "s/@PACKAGE_NAME@/$package_name/g" -e "s/@SIGNATURE_LIFETIME@/$lifetime/g" \
            -e "s|@BUILD_LABEL@|$build_label|g" \
            -e 's/\r$//' -e 's/$/\r/' "tools/release/$f" >"$folder/$f"
    done
}

# build_msix ARCH FILE: the sparse package of that architecture's command DLL.
build_msix() {
    appx build --publisher "$publisher" --arch "$1" "$folder/$2"
    bash tools/package/sign.sh sign "$signing" "$folder/$2"
    cp -f "$folder/$2" "$out/$2"
}

# The administrative templates, in the zip and beside the MSIs.
stage_policy() {
    cp -r policy "$folder/policy"
    rm -rf "$out/policy"
    cp -r policy "$out/policy"
}

# Entries sorted, with the release's time and fixed permissions.
zip_folder() {
    if [ -f "$cer" ]; then cp "$cer" "$folder/"; fi
    zip_file=$out/$name.zip
    rm -f "$zip_file"
    release_tool zip "$zip_file" "$folder"
}

# The MSIs, signed with the same identity; the 64-bit ones also carry the
# Windows 11 command and its package.
build_msis() {
    local msi_sh=(bash scripts/msi.sh ${rows_tool:+--rows-tool "$(absolute "$rows_tool")"})
    "${msi_sh[@]}" --arch x64 --signing "$signing" --dll64 "$dll64" --dll32 "$dll32" \
        --cmd-dll "$dllcmd" --msix "$out/$name.msix" --exe "$exe64" --out "$out"
    "${msi_sh[@]}" --arch arm64 --signing "$signing" --dll64 "$dll_arm64" --dll32 "$dll32" \
        --cmd-dll "$dllcmd_arm64" --msix "$out/$name-arm64.msix" --exe "$exe_arm64" --out "$out"
    "${msi_sh[@]}" --arch x86 --signing "$signing" --dll32 "$dll32" --exe "$exe32" --out "$out"
    # The winget manifests of the signed MSIs (InstallerUrl from ORVANE_RELEASE_URL).
    rm -rf "$out/winget"
    python3 tools/package/winget.py write --version "$version" --out "$out/winget" \
        "$out/$name-x64.msi" "$out/$name-arm64.msi" "$out/$name-x86.msi" >/dev/null
}

# shipped_line FILE ARCH: the check's line for a file found in a package of
# that architecture (in the zip, the ARM64 folder's program is arm64's). A
# program or DLL of any other name is not meant to ship and fails the check.
shipped_line() {
    case ${1##*/} in
    OrvaneShlExt64F.dll) shipped "$1" x64 "${self_registering[@]}" ;;
    OrvaneShlExt32F.dll) shipped "$1" x86 "${self_registering[@]}" ;;
    OrvaneShlExtA64F.dll) shipped "$1" arm64 "${self_registering[@]}" ;;
    "$cmd_name") shipped "$1" x64 ;;
    "$cmd_name_arm64") shipped "$1" arm64 ;;
    OrvaneShellExt.exe) shipped "$1" "$2" gui ;;
    *) shipped "$1" "not-shipped" ;;
    esac
}

# Every program and DLL as it ships (signed, inside its package), unpacked
# and checked: machine, exports, imports and the hardening.
verify_packages() {
    local unpacked=$stage/verify archive arch file list
    mkdir -p "$unpacked"
    for archive in "$zip_file" "$out/$name.msix" "$out/$name-arm64.msix"; do
        unzip -q "$archive" -d "$unpacked/$(basename "$archive")"
    done
    if [ -z "$zip_only" ]; then
        for arch in x64 arm64 x86; do
            mkdir -p "$unpacked/$name-$arch.msi"
            msiextract -C "$unpacked/$name-$arch.msi" "$out/$name-$arch.msi" >/dev/null
        done
    fi
    list=$(find "$unpacked" -type f | sort | while read -r file; do
        cmp -s -n 2 "$file" <(printf MZ) || continue
        case $file in
        */Windows11-ARM64/* | */"$name-arm64.msi"/*) arch=arm64 ;;
        */"$name-x86.msi"/*) arch=x86 ;;
        *) arch=x64 ;;
        esac
        shipped_line "$file" "$arch"
    done)
    echo "package: checking $(grep -c . <<<"$list") programs and DLLs as they ship" >&2
    [ -n "$list" ] && python3 tools/package/peimage.py check <<<"$list"
}

stage_programs
stage_texts
stage_policy
build_msix x64 "$name.msix"
build_msix arm64 "$name-arm64.msix"
zip_folder

# Each shipped program and DLL as the zip (or the x86 MSI) holds it, with the
# file as linked, whose runtimes the bill of materials names.
list_binaries() {
    echo "$name/OrvaneShlExt64F.dll	$folder/OrvaneShlExt64F.dll	$dll64"
    echo "$name/OrvaneShlExt32F.dll	$folder/OrvaneShlExt32F.dll	$dll32"
    echo "$name/OrvaneShlExtA64F.dll	$folder/OrvaneShlExtA64F.dll	$dll_arm64"
    echo "$name/OrvaneShellExt.exe	$folder/OrvaneShellExt.exe	$exe64"
    echo "$name/Windows11/$cmd_name	$folder/Windows11/$cmd_name	$dllcmd"
    echo "$name/Windows11/OrvaneShellExt.exe	$folder/Windows11/OrvaneShellExt.exe	$exe64"
    echo "$name/Windows11-ARM64/OrvaneShellExt.exe	$folder/Windows11-ARM64/OrvaneShellExt.exe	$exe_arm64"
    echo "$name/Windows11-ARM64/$cmd_name_arm64	$folder/Windows11-ARM64/$cmd_name_arm64	$dllcmd_arm64"
    if [ -z "$zip_only" ]; then
        msiextract -C "$stage/x86" "$out/$name-x86.msi" >/dev/null
        echo "$name-x86.msi/OrvaneShellExt.exe	$(find "$stage/x86" -name OrvaneShellExt.exe)	$exe32"
    fi
}

# The checksums last: they cover the bill of materials too.
write_manifests() {
    rm -f "$out/SHA256SUMS"
    list_binaries | release_tool sbom "$out/$name.spdx.json" Orvane-ShellExt "$version"
    release_tool sums "$out"
}

if [ -z "$zip_only" ]; then build_msis; fi
verify_packages || { echo "package: a shipped file lacks what Windows checks for (above)" >&2; exit 1; }
write_manifests
echo "$zip_file"
