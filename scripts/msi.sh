#!/usr/bin/env bash
# Builds one Windows Installer package with wixl: per machine, signed, the
# DLLs' registration written through the Registry table (rows generated from
# the DLLs' own registry scripts and type library, see tools/msi).
#
#   msi.sh --arch x64 --dll64 F --dll32 F [--cmd-dll F --msix F] [options]
#   msi.sh --arch x86 --dll32 F [options]
#
#   --cmd-dll, --msix   the Windows 11 command's DLL and its sparse package
#                       (x64 only; both or neither)
#   --version V         the product version (default: the project's)
#   --out DIR           where the .msi goes (default: build/release)
#   --rows-tool F       OrvaneMsiRows (default: built in the native tree)
#   --signing DIR       a signing identity prepared by tools/package/sign.sh
#                       (default: one made for this run)
#
# The x64 package holds the 64-bit DLL and, as a 32-bit component, the 32-bit
# one, so that 32-bit programs' file dialogs get the menu too. Prints the
# path of the package. Signing: see sign_file below.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
build_root=${ORVANE_BUILD_ROOT:-$root/build}
arch= dll64= dll32= cmd_dll= msix= version= out=$build_root/release rows_tool= signing=

usage() { sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
    --arch) arch=$2; shift 2 ;;
    --dll64) dll64=$2; shift 2 ;;
    --dll32) dll32=$2; shift 2 ;;
    --cmd-dll) cmd_dll=$2; shift 2 ;;
    --msix) msix=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --rows-tool) rows_tool=$2; shift 2 ;;
    --signing) signing=$2; shift 2 ;;
    *) usage ;;
    esac
done
die() { echo "msi: $*" >&2; exit 1; }
# Paths on the command line are the caller's.
absolute() { case $1 in /* | '') echo "$1" ;; *) echo "$caller/$1" ;; esac; }
dll64=$(absolute "$dll64") dll32=$(absolute "$dll32") cmd_dll=$(absolute "$cmd_dll") msix=$(absolute "$msix")
out=$(absolute "$out") rows_tool=$(absolute "$rows_tool") signing=$(absolute "$signing")
case $arch in
x64) [ -n "$dll64" ] && [ -n "$dll32" ] || usage ;;
x86) [ -z "$dll64$cmd_dll$msix" ] && [ -n "$dll32" ] || usage ;;
*) usage ;;
esac
if { [ -n "$cmd_dll" ] && [ -z "$msix" ]; } || { [ -z "$cmd_dll" ] && [ -n "$msix" ]; }; then
    die "--cmd-dll and --msix go together"
fi
for f in "$dll64" "$dll32" "$cmd_dll" "$msix"; do
    [ -z "$f" ] || [ -f "$f" ] || die "$f is missing"
done
[ -n "$version" ] || version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "version '$version' is not MAJOR.MINOR.PATCH"

if [ -z "$rows_tool" ]; then
    cmake --preset native -B "$build_root/native" >/dev/null
    cmake --build "$build_root/native" --target OrvaneMsiRows >/dev/null
    rows_tool=$build_root/native/bin/OrvaneMsiRows
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# sign_file IN OUT: writes OUT, an Authenticode-signed copy of IN (a DLL, an
# MSI), with the identity of tools/package/sign.sh: ORVANE_SIGN_PFX with
# ORVANE_SIGN_PASS, otherwise a throwaway test certificate made for this run
# (or the identity the caller prepared, --signing DIR), which Windows does not
# trust but which shows that the signing step works.
sign_file() {
    local in=$1 out=$2
    if [ -z "$signing" ]; then
        signing=$stage/signing
        bash tools/package/sign.sh identity "$signing" "$stage/test-signing.cer" >/dev/null
    fi
    cp -f "$in" "$out"
    bash tools/package/sign.sh sign "$signing" "$out" || die "signing $in failed"
}

# Per architecture: product name, upgrade code, program files folder, and the
# component identifiers. Fixed forever: a new version with the same upgrade
# code replaces the old one.
if [ "$arch" = x64 ]; then
    product_name="Orvane Shell Extension"
    upgrade_code=FF1E9C90-6A70-44D9-95FC-4F105F31E0B7
    program_files=ProgramFiles64Folder
    guid_64=2E6D9E14-D2DC-47DB-A717-C6302AD4E0FD
    guid_32=A4CD850B-0A82-40F9-A9BA-3C73522BB192
    guid_win11=D90B4EEB-130A-4B53-B0B0-366A4975ECC5
else
    product_name="Orvane Shell Extension (32-bit)"
    upgrade_code=0835F8EA-5031-4FA6-ABEC-7EFEBAF5AB3E
    program_files=ProgramFilesFolder
    guid_32=5EE77BD7-4A31-49F8-9370-3D011F8C54DC
    # On 64-bit Windows Explorer would not load the 32-bit DLL alone; the x64
    # package carries both.
    launch_condition="<Condition Message=\"This package is for 32-bit Windows. On 64-bit Windows, install Orvane-ShellExt-$version-x64.msi.\">NOT VersionNT64</Condition>"
fi

# One component per DLL, in its own registry view: Win64="no" makes Windows
# Installer write the rows where the 32-bit regsvr32 writes them. HELPDIR of
# the type library is the folder without its closing backslash.
components=$stage/components.wxs
: >"$components"
add_dll_component() {  # NAME GUID WIN64 DLL STRIP
    local name=$1 guid=$2 win64=$3 dll=$4 strip=$5
    # Symbols only make the download bigger; the code is the one tested.
    "$strip" -o "$stage/$name.stripped" "$dll"
    sign_file "$stage/$name.stripped" "$stage/$name"
    {
        echo "<Component Id=\"${name%.dll}\" Guid=\"{$guid}\" Win64=\"$win64\">"
        echo "<File Id=\"$name\" Name=\"$name\" Source=\"$name\" KeyPath=\"yes\"/>"
        "$rows_tool" "$stage/$name" "[#$name]" "[ORVANEDIR]ShellExt" || die "no registry rows for $dll"
        echo "</Component>"
    } >>"$components"
}
if [ "$arch" = x64 ]; then
    add_dll_component OrvaneShlExt64F.dll "$guid_64" yes "$dll64" x86_64-w64-mingw32-strip
    add_dll_component OrvaneShlExt32F.dll "$guid_32" no "$dll32" i686-w64-mingw32-strip
else
    add_dll_component OrvaneShlExt32F.dll "$guid_32" yes "$dll32" i686-w64-mingw32-strip
fi

custom_actions=
if [ -n "$cmd_dll" ]; then
    cmd_name=$(basename "$cmd_dll")
    msix_name=$(basename "$msix")
    package_name=$(unzip -p "$msix" AppxManifest.xml | tr -d '\r' |
        sed -n 's/.*<Identity[^>]* Name="\([^"]*\)".*/\1/p' | head -1)
    [ -n "$package_name" ] || die "$msix has no package name in AppxManifest.xml"
    sign_file "$cmd_dll" "$stage/$cmd_name"
    cp "$msix" "$stage/$msix_name"
    cp tools/msi/Windows11Menu.ps1 "$stage/"
    cat >>"$components" <<WXS
<Component Id="Windows11Menu" Guid="{$guid_win11}" Win64="yes">
<File Id="$cmd_name" Name="$cmd_name" Source="$cmd_name" KeyPath="yes"/>
<File Id="SparsePackage" Name="$msix_name" Source="$msix_name"/>
<File Id="Windows11Menu.ps1" Name="Windows11Menu.ps1" Source="Windows11Menu.ps1"/>
</Component>
WXS
    # Immediate actions run as the installing user, which package
    # registration needs: after the files are in place, and at removal before
    # they go. Paths through the folder: file references are empty while a
    # file is being removed. Sequence numbers are given because wixl places
    # Before/After wrongly.
    powershell='-NoProfile -NonInteractive -ExecutionPolicy Bypass -WindowStyle Hidden -File &quot;[INSTALLDIR]Windows11Menu.ps1&quot;'
    custom_actions="<CustomAction Id=\"FindPowerShell\" Property=\"ORVANE_POWERSHELL\" Value=\"[System64Folder]WindowsPowerShell\\v1.0\\powershell.exe\"/>
<CustomAction Id=\"RegisterWindows11Menu\" Property=\"ORVANE_POWERSHELL\" Execute=\"immediate\" Impersonate=\"yes\" Return=\"ignore\"
  ExeCommand=\"$powershell register &quot;[INSTALLDIR]$msix_name&quot; &quot;[INSTALLDIR].&quot;\"/>
<CustomAction Id=\"RemoveWindows11Menu\" Property=\"ORVANE_POWERSHELL\" Execute=\"immediate\" Impersonate=\"yes\" Return=\"ignore\"
  ExeCommand=\"$powershell remove $package_name\"/>
<InstallExecuteSequence>
<Custom Action=\"FindPowerShell\" Sequence=\"1001\"/>
<Custom Action=\"RemoveWindows11Menu\" Sequence=\"1450\">REMOVE~=\"ALL\"</Custom>
<Custom Action=\"RegisterWindows11Menu\" Sequence=\"6601\">NOT REMOVE~=\"ALL\"</Custom>
</InstallExecuteSequence>"
fi
component_refs=$(sed -n 's/^<Component Id="\([^"]*\)".*/<ComponentRef Id="\1"\/>/p' "$components")

cat >"$stage/product.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="*" Name="$product_name" Language="1033" Version="$version" Manufacturer="Kelvoss" UpgradeCode="{$upgrade_code}">
<Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" Description="$product_name $version" Manufacturer="Kelvoss"/>
<Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
<MajorUpgrade DowngradeErrorMessage="A newer version of $product_name is already installed."/>
<Property Id="ARPNOMODIFY" Value="1"/>
${launch_condition:-}
<Directory Id="TARGETDIR" Name="SourceDir">
<Directory Id="$program_files">
<Directory Id="KELVOSSDIR" Name="Kelvoss">
<Directory Id="ORVANEDIR" Name="Orvane">
<Directory Id="INSTALLDIR" Name="ShellExt">
$(cat "$components")
</Directory>
</Directory>
</Directory>
</Directory>
</Directory>
<Feature Id="ShellExtension" Title="$product_name" Level="1">
$component_refs
</Feature>
$custom_actions
</Product>
</Wix>
WXS

mkdir -p "$out"
msi=$(cd "$out" && pwd)/Orvane-ShellExt-$version-$arch.msi
# wixl takes the files' sources relative to the current folder.
(cd "$stage" && wixl -a "$arch" -o unsigned.msi product.wxs) 2> >(grep -v 'GLib-GObject-WARNING\|^$' >&2) ||
    die "wixl failed"
# A rebuilt package of the same version must replace the installed one too,
# not install beside it: the upgrade's maximum version is made inclusive,
# which wixl has no attribute for.
msiinfo export "$stage/unsigned.msi" Upgrade |
    awk -F'\t' -v OFS='\t' 'NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED/ { $5 = $5 + 512 } 1' >"$stage/Upgrade.idt"
grep -q '	513		WIX_UPGRADE_DETECTED' "$stage/Upgrade.idt" || die "unexpected Upgrade table from wixl"
msibuild "$stage/unsigned.msi" -i "$stage/Upgrade.idt" || die "msibuild failed"
sign_file "$stage/unsigned.msi" "$msi"
echo "$msi"
