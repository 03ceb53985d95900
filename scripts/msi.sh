#!/usr/bin/env bash
# Builds one Windows Installer package with wixl: per machine, signed, the
# DLLs' registration written through the Registry table (rows generated from
# the DLLs' own registry scripts and type library, see tools/msi).
#
#   msi.sh --arch x64|arm64 --dll64 F --dll32 F --exe F [--cmd-dll F --msix F] [options]
#   msi.sh --arch x86 --dll32 F --exe F [options]
#
#   --dll64             the classic DLL of the 64-bit architecture
#   --exe               the companion program OrvaneShellExt.exe of this
#                       architecture
#   --cmd-dll, --msix   the Windows 11 command's DLL and its sparse package
#                       of this architecture (x64, arm64; both or neither)
#   --version V         the product version (default: the project's)
#   --out DIR           where the .msi goes (default: build/release)
#   --rows-tool F       OrvaneMsiRows (default: built in the native tree)
#   --signing DIR       a signing identity prepared by tools/package/sign.sh
#                       (default: one made for this run)
#
# A 64-bit package holds the 64-bit DLL and, as a 32-bit component, the
# 32-bit one, so that 32-bit programs' file dialogs get the menu too. Prints
# the path of the package. Everything in it is signed like the package
# (tools/package/sign.sh): ORVANE_SIGN_PFX with ORVANE_SIGN_PASS, otherwise a
# throwaway test certificate, which Windows does not trust but which shows
# that the signing step works. ORVANE_UNSIGNED=1 signs nothing.
#
# The same inputs give the same package: its times are SOURCE_DATE_EPOCH (the
# commit's time by default), its product and package codes are derived from
# what it holds and from the signing certificate.
source "$(dirname "$0")/common.sh"
arch= dll64= dll32= exe= cmd_dll= msix= version= out=$build_root/release rows_tool= signing=
usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0" >&2; exit 2; }
read_options arch= dll64= dll32= exe= cmd-dll= msix= version= out= rows-tool= signing= -- "$@"
die() { echo "msi: $*" >&2; exit 1; }
appx() { python3 tools/package/appx.py "$@"; }
dll64=$(absolute "$dll64") dll32=$(absolute "$dll32") exe=$(absolute "$exe") cmd_dll=$(absolute "$cmd_dll") msix=$(absolute "$msix")
out=$(absolute "$out") rows_tool=$(absolute "$rows_tool") signing=$(absolute "$signing")
case $arch in
x64 | arm64) [ -n "$dll64" ] && [ -n "$dll32" ] && [ -n "$exe" ] || usage ;;
x86) [ -z "$dll64$cmd_dll$msix" ] && [ -n "$dll32" ] && [ -n "$exe" ] || usage ;;
*) usage ;;
esac
if { [ -n "$cmd_dll" ] && [ -z "$msix" ]; } || { [ -z "$cmd_dll" ] && [ -n "$msix" ]; }; then
    die "--cmd-dll and --msix go together"
fi
for f in "$dll64" "$dll32" "$exe" "$cmd_dll" "$msix"; do
    [ -z "$f" ] || [ -f "$f" ] || die "$f is missing"
done
[ -n "$version" ] || version=$(appx version)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "version '$version' is not MAJOR.MINOR.PATCH"
export_source_date_epoch

if [ -z "$rows_tool" ]; then
    cmake --preset native -B "$build_root/native" >/dev/null
    cmake --build "$build_root/native" --target OrvaneMsiRows >/dev/null
    rows_tool=$build_root/native/bin/OrvaneMsiRows
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
if [ -z "$signing" ]; then
    signing=$stage/signing
    bash tools/package/sign.sh identity "$signing" "$stage/test-signing.cer" >/dev/null
fi
# sign_copy IN OUT: a signed copy of a file that has no symbols (a script, the
# package). ship IN NAME: the program or DLL IN without its symbols, signed,
# as NAME in the stage.
sign_copy() { cp -f "$1" "$2" && bash tools/package/sign.sh sign "$signing" "$2" || die "signing $1 failed"; }
ship() { bash tools/package/sign.sh strip-and-sign "$signing" "$1" "$stage/$2" || die "signing $1 failed"; }

# Per architecture: product name, upgrade code, program files folder, and the
# component identifiers. Fixed forever: a new version with the same upgrade
# code replaces the old one. The x64 and ARM64 packages are one product for
# 64-bit Windows and share the upgrade code, so that they are never both
# installed: the ARM64 package replaces an x64 one that an ARM64 machine got
# before there was an ARM64 package. Their 32-bit components are the same
# file with the same rows, and share an identifier; the others hold other
# files and do not.
case $arch in
x64 | arm64)
    product_name="Orvane Shell Extension"
    upgrade_code=FF1E9C90-6A70-44D9-95FC-4F105F31E0B7
    program_files=ProgramFiles64Folder
    win64=yes
    guid_32=A4CD850B-0A82-40F9-A9BA-3C73522BB192
    ;;
x86)
    product_name="Orvane Shell Extension (32-bit)"
    upgrade_code=0835F8EA-5031-4FA6-ABEC-7EFEBAF5AB3E
    program_files=ProgramFilesFolder
    # A 32-bit package holds no 64-bit component (Windows Installer's ICE80).
    win64=no
    guid_32=5EE77BD7-4A31-49F8-9370-3D011F8C54DC
    guid_companion=B6E4D1A7-2F58-4C93-8E0D-71A5C3F9B246
    # On 64-bit Windows Explorer would not load the 32-bit DLL alone; the
    # 64-bit packages carry both.
    launch_condition="<Condition Message=\"This package is for 32-bit Windows. On 64-bit Windows, install Orvane-ShellExt-$version-x64.msi (on Windows on ARM, -arm64.msi).\">NOT VersionNT64</Condition>"
    ;;
esac
if [ "$arch" = x64 ]; then
    dll64_name=OrvaneShlExt64F.dll
    guid_64=2E6D9E14-D2DC-47DB-A717-C6302AD4E0FD
    guid_win11=FFF71111-4511-4D8F-831A-D999020E7151
    guid_companion=3C0B7E52-8D1F-4E36-9A41-6F2B9D0C7A18
    guid_win11_registration=5F2A8C61-7B3E-4D09-A6C4-2E9B1D7F0A35
    # Windows on ARM installs x64 packages too, but its Explorer cannot load
    # the x64 DLL. The machine's own processor, as Windows records it: an
    # installer started by an x64 program may be told AMD64. Removal is never
    # refused.
    launch_condition="<Property Id=\"ORVANE_MACHINE\"><RegistrySearch Id=\"MachineProcessor\" Root=\"HKLM\"
  Key=\"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment\" Name=\"PROCESSOR_ARCHITECTURE\" Type=\"raw\"/></Property>
<Condition Message=\"This package is for x64 Windows. On Windows on ARM, install Orvane-ShellExt-$version-arm64.msi.\">Installed OR NOT ORVANE_MACHINE~=\"ARM64\"</Condition>"
elif [ "$arch" = arm64 ]; then
    dll64_name=OrvaneShlExtA64F.dll
    guid_64=310EB542-BE82-4A23-A496-9209DBA124B7
    guid_win11=646F8636-A638-4E3D-902E-4F7C160550BA
    guid_companion=1C148172-3DA4-49A3-B1D2-A5D49F27FF40
    guid_win11_registration=182F6C8D-A702-483E-BF40-01C79CA8304F
fi

# One component per DLL, in its own registry view: Win64="no" makes Windows
# Installer write the rows where the 32-bit regsvr32 writes them. HELPDIR of
# the type library is the folder without its closing backslash.
components=$stage/components.wxs
: >"$components"
add_dll_component() {  # NAME GUID WIN64 DLL
    local name=$1 guid=$2 win64=$3 dll=$4
    ship "$dll" "$name"
    {
        echo "<Component Id=\"${name%.dll}\" Guid=\"{$guid}\" Win64=\"$win64\">"
        echo "<File Id=\"$name\" Name=\"$name\" Source=\"$name\" KeyPath=\"yes\"/>"
        "$rows_tool" "$stage/$name" "[#$name]" "[ORVANEDIR]ShellExt" || die "no registry rows for $dll"
        echo "</Component>"
    } >>"$components"
}
if [ "$arch" = x86 ]; then
    add_dll_component OrvaneShlExt32F.dll "$guid_32" no "$dll32"
else
    add_dll_component "$dll64_name" "$guid_64" yes "$dll64"
    add_dll_component OrvaneShlExt32F.dll "$guid_32" no "$dll32"
fi

# The companion program, in the install folder of every package.
ship "$exe" OrvaneShellExt.exe
cat >>"$components" <<WXS
<Component Id="Companion" Guid="{$guid_companion}" Win64="$win64">
<File Id="OrvaneShellExt.exe" Name="OrvaneShellExt.exe" Source="OrvaneShellExt.exe" KeyPath="yes"/>
</Component>
WXS

custom_actions=
if [ -n "$cmd_dll" ]; then
    cmd_name=$(basename "$cmd_dll")
    msix_name=$(basename "$msix")
    ship "$cmd_dll" "$cmd_name"
    cp "$msix" "$stage/$msix_name"
    # Machines whose policy is AllSigned run no unsigned script, whatever
    # the command line says: the script is signed like the programs.
    sign_copy tools/msi/Windows11Menu.ps1 "$stage/Windows11Menu.ps1"
    active_setup_key="Software\Microsoft\Active Setup\Installed Components\{$(appx id ORVANE_ACTIVE_SETUP_GUID)}"
    # Active Setup runs StubPath once for each user whose last run was of an
    # older Version (at that user's next logon): a new product version
    # registers the package again. The fourth part is the step: 0 registers,
    # 1 (left by the uninstallation) removes.
    active_setup_version=${version//./,},0
    cat >>"$components" <<WXS
<Directory Id="PACKAGEDIR" Name="Windows11">
<Component Id="Windows11Menu" Guid="{$guid_win11}" Win64="yes">
<File Id="$cmd_name" Name="$cmd_name" Source="$cmd_name" KeyPath="yes"/>
<File Id="PackageApplication" Name="OrvaneShellExt.exe" Source="OrvaneShellExt.exe"/>
<RegistryValue Root="HKLM" Key="$active_setup_key" Type="string" Value="Orvane Shell Extension (Windows 11 menu)"/>
<RegistryValue Root="HKLM" Key="$active_setup_key" Name="StubPath" Type="string" Value="&quot;[INSTALLDIR]OrvaneShellExt.exe&quot; register-user"/>
<RegistryValue Root="HKLM" Key="$active_setup_key" Name="Version" Type="string" Value="$active_setup_version"/>
<RegistryValue Root="HKLM" Key="$active_setup_key" Name="IsInstalled" Type="integer" Value="1"/>
</Component>
</Directory>
<Component Id="Windows11Registration" Guid="{$guid_win11_registration}" Win64="yes">
<File Id="SparsePackage" Name="$msix_name" Source="$msix_name" KeyPath="yes"/>
<File Id="Windows11Menu.ps1" Name="Windows11Menu.ps1" Source="Windows11Menu.ps1"/>
</Component>
WXS
    # Immediate actions run as the installing user, which package
    # registration needs: after the files are in place, and at removal before
    # they go; the companion program runs the signed script and tells
    # Explorer. Its exit code lands in the installer's log ("returned actual
    # error code"), the script's message in %TEMP%. Paths through the
    # folder: file references are empty while a file is being removed.
    # Sequence numbers are given because wixl places Before/After wrongly.
    # The uninstallation (not the removal of the old version by an upgrade)
    # then leaves Active Setup a removal step for the other users: written
    # as the machine (deferred, not impersonated) after the installer has
    # removed its own values (RemoveRegistryValues, 2600) and before the
    # files go (RemoveFiles, 3500).
    custom_actions="<CustomAction Id=\"FindCompanion\" Property=\"ORVANE_COMPANION\" Value=\"[INSTALLDIR]OrvaneShellExt.exe\"/>
<CustomAction Id=\"RegisterWindows11Menu\" Property=\"ORVANE_COMPANION\" Execute=\"immediate\" Impersonate=\"yes\" Return=\"ignore\"
  ExeCommand=\"register-user\"/>
<CustomAction Id=\"RemoveWindows11Menu\" Property=\"ORVANE_COMPANION\" Execute=\"immediate\" Impersonate=\"yes\" Return=\"ignore\"
  ExeCommand=\"unregister-user\"/>
<CustomAction Id=\"LeaveRemovalForAllUsers\" Property=\"ORVANE_COMPANION\" Execute=\"deferred\" Impersonate=\"no\" Return=\"ignore\"
  ExeCommand=\"unregister-all-users ${version//./,},1\"/>
<InstallExecuteSequence>
<Custom Action=\"FindCompanion\" Sequence=\"1001\"/>
<Custom Action=\"RemoveWindows11Menu\" Sequence=\"1450\">REMOVE~=\"ALL\"</Custom>
<Custom Action=\"LeaveRemovalForAllUsers\" Sequence=\"3400\">REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE</Custom>
<Custom Action=\"RegisterWindows11Menu\" Sequence=\"6601\">NOT REMOVE~=\"ALL\"</Custom>
</InstallExecuteSequence>"
fi
component_refs=$(sed -n 's/^<Component Id="\([^"]*\)".*/<ComponentRef Id="\1"\/>/p' "$components")

cat >"$stage/product.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="@PRODUCT_CODE@" Name="$product_name" Language="1033" Version="$version" Manufacturer="Kelvoss" UpgradeCode="{$upgrade_code}">
<Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" Description="$product_name $version" Manufacturer="Kelvoss"
  Comments="$(bash tools/package/sign.sh label)"/>
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

# The codes Windows Installer tells packages and products apart by, derived
# from the package's text, the bytes of every file in it and the
# certificate that signs them: a rebuild of the same content is the same
# package; signed by another certificate, or with any file changed, another.
content_seed() {
    cat "$stage/product.wxs"
    (cd "$stage" && find . -type f ! -name '*.wxs' ! -name '*.msi' ! -path './signing/*' -print0 | LC_ALL=C sort -z |
        xargs -0 sha256sum)
    cat "$signing/cert.pem" 2>/dev/null || true
}
seed=$(content_seed | sha256sum | cut -d' ' -f1)
product_code=$(python3 tools/package/release.py guid product "$seed")
package_code=$(python3 tools/package/release.py guid package "$seed")
sed -i "s/@PRODUCT_CODE@/$product_code/" "$stage/product.wxs"
# The cabinet keeps each file's time.
find "$stage" -type f -exec touch -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
msi=$(cd "$out" && pwd)/Orvane-ShellExt-$version-$arch.msi
# wixl takes the files' sources relative to the current folder. It knows no
# ARM64: that package is built as x64 (64-bit components, the 64-bit
# registry view and program files folder, which ARM64 Windows has too), and
# its summary then names the processor Windows Installer must find (Arm64
# needs the installer schema 500 that the package declares).
(cd "$stage" && wixl -a "${arch/arm64/x64}" -o unsigned.msi product.wxs) 2> >(grep -v 'GLib-GObject-WARNING\|^$' >&2) ||
    die "wixl failed"
# A rebuilt package of the same version must replace the installed one too,
# not install beside it: the upgrade's maximum version is made inclusive,
# which wixl has no attribute for.
msiinfo export "$stage/unsigned.msi" Upgrade |
    awk -F'\t' -v OFS='\t' 'NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED/ { $5 = $5 + 512 } 1' >"$stage/Upgrade.idt"
grep -q '	513		WIX_UPGRADE_DETECTED' "$stage/Upgrade.idt" || die "unexpected Upgrade table from wixl"
msibuild "$stage/unsigned.msi" -i "$stage/Upgrade.idt" || die "msibuild failed"
# The install folder and everything below it: only administrators and
# SYSTEM may change it (full control), users and app packages read and run
# it, and nothing is inherited from the parent (P: protected), which may be
# a folder every user can write when ORVANEDIR points outside Program
# Files. Active Setup runs the companion program at every user's logon, the
# uninstallation as SYSTEM. Through Windows Installer's own table
# (MsiLockPermissionsEx, installer schema 500), so that repair and
# rollback keep the permissions; the folder needs a CreateFolder row of the
# component that lives in it.
printf 'Directory_\tComponent_\ns72\ts72\nCreateFolder\tDirectory_\tComponent_\nINSTALLDIR\tCompanion\n' \
    >"$stage/CreateFolder.idt"
printf '%s\n' $'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition' $'s72\ts72\ts32\ts0\tS255' \
    $'MsiLockPermissionsEx\tMsiLockPermissionsEx' \
    $'LockInstallDir\tINSTALLDIR\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;AC)\t' \
    >"$stage/MsiLockPermissionsEx.idt"
msibuild "$stage/unsigned.msi" -i "$stage/CreateFolder.idt" "$stage/MsiLockPermissionsEx.idt" || die "msibuild failed"
summary() { msiinfo suminfo "$stage/unsigned.msi" | sed -n "s/^$1: //p"; }
template=$(summary Template)
if [ "$arch" = arm64 ]; then template="Arm64;1033"; fi
# Everything else in the summary stays; wixl's package code is random, and
# its times are the build's.
msibuild "$stage/unsigned.msi" -s "$(summary Subject)" "$(summary Author)" "$template" "{$package_code}" ||
    die "msibuild failed"
[ "$(summary Template)" = "$template" ] || die "the summary's template is '$(summary Template)'"
python3 tools/package/release.py msi-times "$stage/unsigned.msi" || die "cannot set the package's times"
sign_copy "$stage/unsigned.msi" "$msi"
echo "$msi"
