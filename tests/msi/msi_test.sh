#!/usr/bin/env bash
# One architecture's Windows Installer package under Wine's msiexec, in a
# prefix made for this test (a 32-bit one for the x86 package): an older
# version, then a rebuild of this version, then this build are installed
# silently, each over the one before; the registry must then hold,
# value for value in every view, what regsvr32 writes for the same DLLs, the
# shell hosts must build the menu through COM from the installed files, and
# the silent uninstall must take away every key and file of ours and nothing
# else. The x64 package's Active Setup entry must run the companion program's
# register-user, which does nothing before Windows 11 and, on Windows 11,
# hands the package to PowerShell (a recording stand-in); after the
# uninstallation Active Setup must be left a removal step that needs no file
# of ours. On a machine whose processor Windows records as ARM64 the x64
# package must refuse to install. The ARM64 package, which cannot be
# installed here, is read back: its tables must be the x64 package's but for
# the ARM64 files and the processor its summary names.
#   msi_test.sh ARCH MSI_SH ROWS_TOOL EXE DLL32 HOST32 [DLL64 HOST64 [CMD_DLL STANDIN [ARM64_BIN]]]
# ARCH is x64 (both DLLs) or x86; EXE the companion program of that
# architecture. CMD_DLL is the Windows 11 command's DLL when it has been
# built; otherwise a stand-in takes its place. ARM64_BIN holds the ARM64
# build's files. Exit code 77 (skipped) when an input is missing.
set -uo pipefail
arch=$1 msi_sh=$2 rows_tool=$3 exe=$4 dll32=$5 host32=$6 dll64=${7:-} host64=${8:-} cmd_dll=${9:-} standin=${10:-}
arm64_bin=${11:-}
here=$(cd "$(dirname "$0")" && pwd)
for f in "$rows_tool" "$exe" "$dll32" "$host32" ${dll64:+"$dll64" "$host64" "$standin"}; do
    if [ ! -f "$f" ]; then
        echo "SKIP: $f is missing (build the native, win64, win64-clang and win32 presets first)"
        exit 77
    fi
done

bash "$here/../wineprefix.sh" setup "$WINEPREFIX" >/dev/null
source "$here/../tools/common.sh"
cleanup_actions+=("bash '$here/../wineprefix.sh' cleanup '$WINEPREFIX' >/dev/null")

clsid='{7c1e2b41-3a5d-4e8f-9b16-2d4f60a81c01}'
folder='C:\Program Files\Kelvoss\Orvane\ShellExt'
folder_unix="$WINEPREFIX/drive_c/Program Files/Kelvoss/Orvane/ShellExt"
# The class's server key in each view, and the DLL and host of that view. The
# x86 package is for 32-bit Windows (a 32-bit prefix), which has one view.
if [ "$arch" = x64 ]; then
    views=("software\\classes\\clsid\\$clsid\\inprocserver32 OrvaneShlExt64F.dll $host64")
    if win32_runs; then
        views+=("software\\classes\\wow6432node\\clsid\\$clsid\\inprocserver32 OrvaneShlExt32F.dll $host32")
    else
        skip "the 32-bit view (its host, its regsvr32): 32-bit programs cannot run on this machine"
    fi
else
    views=("software\\classes\\clsid\\$clsid\\inprocserver32 OrvaneShlExt32F.dll $host32")
fi

# --- the packages: this build, and an older build of the same product ------
msi_args=(--arch "$arch" --dll32 "$dll32" --exe "$exe" --rows-tool "$rows_tool")
if [ "$arch" = x64 ]; then
    # The sparse package is a stand-in: only its name is read here.
    mkdir -p "$scratch/msix"
    printf '<Package><Identity Name="Kelvoss.Orvane.ShellExt.Test" Version="1.0.0.0"/></Package>' \
        >"$scratch/msix/AppxManifest.xml"
    (cd "$scratch/msix" && zip -q ../Orvane-ShellExt-test.msix AppxManifest.xml)
    if [ ! -f "$cmd_dll" ]; then cmd_dll=$scratch/OrvaneShlExtCmd64F.dll; cp "$dll64" "$cmd_dll"; fi
    msi_args+=(--dll64 "$dll64" --cmd-dll "$cmd_dll" --msix "$scratch/Orvane-ShellExt-test.msix")
fi
# Installed in this order, each over the one before: an older version, this
# version, and this version built again (another product code).
old_msi=$(bash "$msi_sh" "${msi_args[@]}" --version 1.0.0 --out "$scratch/old" | tail -1)
rebuilt_msi=$(bash "$msi_sh" "${msi_args[@]}" --out "$scratch/rebuilt" | tail -1)
new_msi=$(bash "$msi_sh" "${msi_args[@]}" --out "$scratch" | tail -1)
for msi in "$old_msi" "$rebuilt_msi" "$new_msi"; do
    if [ -f "$msi" ]; then pass "msi.sh wrote $(basename "$msi")"; else fail "msi.sh wrote no package"; finish; fi
done
if msiinfo suminfo "$new_msi" | grep -q '^Comments: TEST BUILD, TEST-SIGNED'; then pass "the summary says test-signed"
else fail "the summary's comments: $(msiinfo suminfo "$new_msi" | grep Comments)"; fi

# --- the ARM64 package, read back -------------------------------------------
# Its tables with the ARM64 files' names written as the x64 ones: Registry
# rows, components' folders and attributes (64-bit but for the 32-bit DLL),
# upgrade rows, properties but for the product code; and its files' machines.
x64_names() { sed 's/OrvaneShlExtA64F/OrvaneShlExt64F/g; s/OrvaneShlExtCmdA64F/OrvaneShlExtCmd64F/g'; }
msi_table() {  # MSI TABLE [COLUMNS]
    msiinfo export "$1" "$2" | tail -n +4 | cut -f "${3:-1-}" | grep -v '^ProductCode' | x64_names | sort
}
if [ "$arch" = x64 ] && [ -f "$arm64_bin/OrvaneShlExtA64F.dll" ]; then
    arm64_msi=$(bash "$msi_sh" "${msi_args[@]}" --arch arm64 --dll64 "$arm64_bin/OrvaneShlExtA64F.dll" \
        --exe "$arm64_bin/OrvaneShellExt.exe" --cmd-dll "$arm64_bin/OrvaneShlExtCmdA64F.dll" --out "$scratch/arm64" | tail -1)
    template=$(msiinfo suminfo "$arm64_msi" | sed -n 's/^Template: //p')
    if [ "$template" = "Arm64;1033" ]; then pass "the ARM64 package is for Arm64;1033"; else fail "the ARM64 package's template is '$template'"; fi
    for table in "Registry 2-" "Component 1,3-" "Upgrade 1-" "Property 1-" "File 1-3"; do
        read -r name columns <<<"$table"
        difference=$(diff <(msi_table "$new_msi" "$name" "$columns") <(msi_table "$arm64_msi" "$name" "$columns"))
        if [ -z "$difference" ]; then pass "the ARM64 package's $name table is the x64 one's but for the files"
        else fail "the ARM64 package's $name table differs (< x64, > ARM64):"$'\n'"$difference"; fi
    done
    msiextract -C "$scratch/arm64-content" "$arm64_msi" >/dev/null
    machines=$(find "$scratch/arm64-content" -name '*.dll' -o -name '*.exe' | sort | while read -r f; do
        echo "${f##*/ShellExt/} $(python3 "$here/../../tools/package/peimage.py" machine "$f")"; done)
    expected="OrvaneShellExt.exe arm64
OrvaneShlExt32F.dll x86
OrvaneShlExtA64F.dll arm64
Windows11/OrvaneShellExt.exe arm64
Windows11/OrvaneShlExtCmdA64F.dll arm64"
    if [ "$machines" = "$expected" ]; then pass "the ARM64 package's programs are ARM64 but for the 32-bit DLL"
    else fail "the ARM64 package holds:"$'\n'"$machines"; fi
elif [ "$arch" = x64 ]; then
    skip "the ARM64 package: build the win-arm64 preset"
else
    # Windows Installer's validation (ICE80) allows no 64-bit component in a package for 32-bit Windows.
    wide=$(msi_table "$new_msi" Component 1,4 | awk -F'\t' '$2 % 512 >= 256 { print $1 }')
    if [ -z "$wide" ]; then pass "no component of the 32-bit package is 64-bit"; else fail "64-bit components: $wide"; fi
fi
# The winget manifests package.sh writes, against winget's JSON schemas (with
# Debian's jsonschema) and the package's hash; a changed byte must fail them.
winget=("$here/../../tools/package/winget.py")
version=$(msiinfo export "$new_msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
manifests=$(python3 "${winget[@]}" write --version "$version" --out "$scratch/winget" "$new_msi")
winget+=(check --schemas "$here/../../tools/package/schemas")
if report=$(/usr/bin/python3 "${winget[@]}" --files "$scratch" "$manifests" 2>&1); then
    pass "the winget manifests are valid and name the package's hash"
else fail "the winget manifests:"$'\n'"$report"; fi
mkdir "$scratch/changed" && cp "$new_msi" "$scratch/changed/" && printf x >>"$scratch/changed/${new_msi##*/}"
if ! /usr/bin/python3 "${winget[@]}" --files "$scratch/changed" "$manifests" >/dev/null 2>&1; then
    pass "a package changed after the manifests fails their check"
else fail "the winget check passed a changed package"; fi
# The install folder's permissions (applied only by Windows Installer on
# Windows): administrators and SYSTEM full control, users and app packages
# read and run, nothing inherited.
locks=$(msi_table "$new_msi" MsiLockPermissionsEx 2-4 | tr -d '\r')
folders=$(msi_table "$new_msi" CreateFolder | tr -d '\r')
if [ "$locks" = $'INSTALLDIR\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;AC)' ] &&
    [ "$folders" = $'INSTALLDIR\tCompanion' ]; then pass "the install folder's permissions leave it to administrators"
else fail "the install folder's permission rows: $locks / $folders"; fi
msiextract -C "$scratch/content" "$new_msi" >/dev/null
while read -r f; do
    if osslsigncode extract-signature -in "$f" -out "$scratch/sig" >/dev/null 2>&1; then
        pass "$(basename "$f") is signed"
    else
        fail "$(basename "$f") carries no signature"
    fi
    rm -f "$scratch/sig"
done < <(echo "$new_msi"; find "$scratch/content" -name '*.dll' -o -name '*.exe' -o -name '*.ps1')

# The prefix's machine registry as sorted lines (see regsnap.py); the server
# is stopped so that it writes the registry out, then started again.
snapshot() {
    wineserver -k
    python3 "$here/regsnap.py" "$WINEPREFIX/system.reg" >"$1"
    wineserver -p </dev/null >/dev/null 2>&1
}
# The lines that registration can touch: HKLM\Software, without what Windows
# Installer keeps about installed products. (Wine rewrites device entries
# under HKLM\System whenever it starts.)
registration_lines() {
    grep -E '^software\\' | grep -vE '^software\\(classes\\installer|microsoft\\windows\\currentversion\\(installer|uninstall))\\'
}
# Registration writes classes only; Wine's own processes may touch other keys
# between two snapshots.
# Where 32-bit programs cannot run, the 32-bit DLL's registration (its view,
# its type library's win32 entry) has no regsvr32 to compare with.
without_32bit_dll() { grep -vE $'^software\\\\classes\\\\(wow6432node\\\\|typelib\\\\[^\t]*\\\\win32(\t|$))'; }
added_classes() {
    comm -13 "$1" "$2" | registration_lines | grep -E '^software\\(wow6432node\\)?classes\\' |
        if [ "$arch" = x64 ] && ! win32_runs; then without_32bit_dll; else cat; fi
}
changed() { comm -3 "$1" "$2" | sed 's/^\t//' | registration_lines; }

# Windows on ARM installs x64 packages, but its Explorer would not load ours.
if [ "$arch" = x64 ]; then
    machine_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
    machine=$(wine reg query "$machine_key" /v PROCESSOR_ARCHITECTURE </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    run reg add "$machine_key" /v PROCESSOR_ARCHITECTURE /d ARM64 /f
    WINEDEBUG=err+msi run msiexec /i "$(winepath -w "$new_msi")" /qn
    expect_output 'action L"LaunchConditions" returned 1603' "the x64 package refuses a machine whose processor is ARM64"
    run reg add "$machine_key" /v PROCESSOR_ARCHITECTURE /d "$machine" /f
fi

# A value of someone else's under a key that we share must outlive us.
foreign_key='HKLM\Software\Classes\*\shellex\ContextMenuHandlers'
run reg add "$foreign_key" /v OrvaneTestForeign /d keep /f
snapshot "$scratch/before"

# --- install the older builds, then upgrade --------------------------------
sample="$scratch_win\\sample.txt"
echo sample >"$scratch/sample.txt"
for msi in "$old_msi" "$rebuilt_msi" "$new_msi"; do
    run msiexec /i "$(winepath -w "$msi")" /qn
    expect_status 0 "msiexec /i ${msi#"$scratch/"} /qn"
done
snapshot "$scratch/installed"
products=$(grep -ciE '^software\\microsoft\\windows\\currentversion\\uninstall\\[^	]*	displayname	"Orvane Shell Extension' \
    "$scratch/installed")
if [ "$products" = 1 ]; then pass "after the upgrades one product is installed"; else fail "$products products installed"; fi
for view in "${views[@]}"; do
    read -r key dll host <<<"$view"
    expected="$key	@	\"${folder//\\/\\\\}\\\\$dll\""
    if grep -qxF "$expected" "$scratch/installed"; then pass "$key names $dll"; else fail "$key does not name the installed $dll"; fi
    expect_file "$folder_unix/$dll" "$dll is installed"
    run "$host" menu "$sample"
    expect_output "$dll" "$(basename "$host") finds the installed $dll"
    expect_output '12 command identifier' "$(basename "$host") builds the 12-item menu"
done
expect_file "$folder_unix/OrvaneShellExt.exe" "the companion program is installed"
# Active Setup: the key, value and data of each line of the snapshot.
appx() { python3 "$here/../../tools/package/appx.py" "$@"; }
active_setup_key="software\\microsoft\\active setup\\installed components\\{$(appx id ORVANE_ACTIVE_SETUP_GUID | tr 'A-F' 'a-f')}"
active_setup() { grep -iF "$active_setup_key	$1	" "$2" | cut -f3-; }
product_version=$(appx version)
if [ "$arch" = x64 ]; then
    for f in "Windows11/$(basename "$cmd_dll")" Windows11/OrvaneShellExt.exe Orvane-ShellExt-test.msix \
        Windows11Menu.ps1; do
        expect_file "$folder_unix/$f" "the Windows 11 menu's $f is installed"
    done
    stub=$(active_setup stubpath "$scratch/installed")
    if [ "$stub" = "\"\\\"${folder//\\/\\\\}\\\\OrvaneShellExt.exe\\\" register-user\"" ]; then
        pass "Active Setup runs register-user from the install folder"
    else
        fail "Active Setup StubPath is '$stub'"
    fi
    version=$(active_setup version "$scratch/installed")
    if [ "$version" = "\"${product_version//./,},0\"" ]; then pass "Active Setup Version follows the product ($version)"
    else fail "Active Setup Version is '$version'"; fi

    # register-user as Active Setup runs it: before Windows 11 quietly
    # nothing; then on Windows 11 the package, through PowerShell.
    powershell=$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe
    cp "$powershell" "$scratch/powershell.orig"
    cleanup_actions+=("cp '$scratch/powershell.orig' '$powershell'")
    cp "$standin" "$powershell"
    export ORVANE_STANDIN_LOG="$scratch_win\\powershell.log" WINEDLLOVERRIDES="powershell.exe=n"
    run "$folder\\OrvaneShellExt.exe" register-user
    expect_status 0 "register-user before Windows 11"
    expect_no_file "$scratch/powershell.log" "register-user leaves PowerShell alone before Windows 11"
    # Wine reports the build that the registry names.
    version_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
    build=$(wine reg query "$version_key" /v CurrentBuildNumber /reg:64 </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    run reg add "$version_key" /v CurrentBuildNumber /d 22631 /f /reg:64
    run "$folder\\OrvaneShellExt.exe" register-user
    expect_status 0 "register-user on Windows 11"
    script=$(tr -d '\r' <"$scratch/powershell.log" 2>/dev/null | sed -n 's/^cmdline .*-File //p')
    expected="\"$folder\\Windows11Menu.ps1\" register \"$folder\\Orvane-ShellExt-test.msix\" \"$folder\\Windows11\\.\" Kelvoss.Orvane.ShellExt"
    if [ "$script" = "$expected" ]; then pass "register-user hands the package and its own folder to the signed script"
    else fail "PowerShell was asked for '$script', wanted '$expected'"; fi
    run reg add "$version_key" /v CurrentBuildNumber /d "$build" /f /reg:64
    unset ORVANE_STANDIN_LOG
fi

# --- upgrade and uninstall while the DLLs are loaded --------------------------
# Explorer holds the classic DLL and a surrogate the command DLL: host
# processes stand in for both. Windows Installer may then finish replacing or
# removing a file at the next restart (exit code 3010); Wine's restart
# (wineboot -r) performs the pending renames.
IFS=. read -r major minor patch <<<"$product_version"
newer_version=$major.$minor.$((patch + 1))
newer_msi=$(bash "$msi_sh" "${msi_args[@]}" --version "$newer_version" --out "$scratch/newer" | tail -1)
msiextract -C "$scratch/newer-content" "$newer_msi" >/dev/null
holders=()
hold_dlls() {
    local dll held
    # Started elevated, so that the process killed below is the host itself
    # and not the launcher that would start it with the user's token.
    local -x ORVANE_WINE_ELEVATED=1
    if [ "$arch" = x86 ] || win32_runs; then
        wine "$host32" menu --wait 120 "$sample" >/dev/null 2>&1 </dev/null &
        holders+=($!)
    fi
    if [ "$arch" = x64 ]; then
        wine "$host64" menu --wait 120 "$sample" >/dev/null 2>&1 </dev/null &
        holders+=($!)
        # In a classic menu's site: the command stays loaded but hidden, and
        # starts no hand-off whose waiter would hold the companion program.
        wine "$host64" xmenu --site classic --wait 120 --manifest "$(winepath -w "$(dirname "$host64")/AppxManifest.xml")" \
            --dll "$folder\\Windows11\\$(basename "$cmd_dll")" "$sample" >/dev/null 2>&1 </dev/null &
        holders+=($!)
    fi
    for dll in "${views[@]}" "x Windows11/$(basename "$cmd_dll")"; do
        read -r _ dll _ <<<"$dll"
        [ "$arch" = x64 ] || [[ $dll != Windows11/* ]] || continue
        held=
        for _ in $(seq 60); do
            if grep -qF "Orvane/ShellExt/$dll" /proc/[0-9]*/maps 2>/dev/null; then held=1; break; fi
            sleep 1
        done
        if [ -n "$held" ]; then pass "a host process holds $dll"; else fail "no host process loaded $dll"; fi
    done
}
release_dlls() {
    kill "${holders[@]}" 2>/dev/null
    wait "${holders[@]}" 2>/dev/null
    holders=()
    run wineboot -r
}
cleanup_actions+=('[ ${#holders[@]} -eq 0 ] || kill "${holders[@]}"')
# Exit 0, or 3010 when a restart finishes the work (Wine hands Linux only the
# low byte of an exit code: 3010 arrives as 194).
expect_done() {
    case $last_status in
    0 | 3010 | 194) pass "$1 (exit $last_status)" ;;
    *) fail "$1: exit $last_status" ;;
    esac
}
hold_dlls
run msiexec /i "$(winepath -w "$newer_msi")" /qn
expect_done "upgrade to $newer_version while the DLLs are loaded"
release_dlls
different=$(diff -r "$(find "$scratch/newer-content" -type d -name ShellExt | head -1)" "$folder_unix" 2>&1)
if [ -z "$different" ]; then pass "after the restart the install folder holds exactly the new files"
else fail "the install folder is not the new package's:"$'\n'"$different"; fi

# --- uninstall --------------------------------------------------------------
product_version=$newer_version
hold_dlls
run msiexec /x "$(winepath -w "$newer_msi")" /qn /l*v "$scratch_win\\uninstall.log"
expect_done "msiexec /x /qn while the DLLs are loaded"
# What Windows Installer did, for a failure that comes only under load.
case $last_status in 0 | 3010 | 194) ;; *) tr -d '\000\r' <"$scratch/uninstall.log" 2>/dev/null | tail -40 | sed 's/^/    | /' ;; esac
release_dlls
# Windows Installer schedules a file it cannot remove for deletion at the
# restart; Wine's leaves it and schedules nothing. Only the files that the
# hosts held may be left here, and they are removed for the checks below.
left_files=$(cd "$folder_unix" 2>/dev/null && find . -type f -printf '%P\n' | sort | tr '\n' ' ')
unheld=$(tr ' ' '\n' <<<"$left_files" | grep -vxE 'OrvaneShlExt(64F|32F)\.dll|Windows11/OrvaneShlExtCmd64F\.dll|')
if [ -n "$unheld" ]; then fail "uninstall left files that no host held: $unheld"; fi
if [ -n "$left_files" ]; then
    echo "note: Wine's msiexec left the held files in place: $left_files"
    rm -rf "$WINEPREFIX/drive_c/Program Files/Kelvoss"
fi
snapshot "$scratch/removed"
if [ "$arch" = x64 ]; then
    stub=$(active_setup stubpath "$scratch/removed")
    version=$(active_setup version "$scratch/removed")
    if [[ $stub == *powershell.exe*Remove-AppxPackage* ]] && [[ $stub != *OrvaneShellExt.exe* ]] &&
        [ "$version" = "\"${product_version//./,},1\"" ]; then
        pass "uninstall leaves Active Setup a removal step that needs no file of ours ($version)"
    else
        fail "after uninstall Active Setup holds StubPath '$stub', Version '$version'"
    fi
fi
left=$(changed "$scratch/before" "$scratch/removed" | grep -viF "$active_setup_key")
# A prefix without 32-bit Wine starts without the 32-bit view's class and
# interface keys; the package creates them for its 32-bit rows and, like
# Windows Installer, leaves the empty parents behind.
if [ "$arch" = x64 ] && ! win32_runs; then
    left=$(grep -vxE $'software\\\\classes\\\\wow6432node\\\\(clsid|interface)\t\t\\(key\\)' <<<"$left")
fi
if [ -z "$left" ]; then pass "uninstall leaves the registry as it was"; else fail "uninstall changed the registry:"$'\n'"$left"; fi
if grep -qi 'orvanetestforeign' "$scratch/removed"; then pass "the foreign value survives"; else fail "the foreign value is gone"; fi
expect_no_file "$folder_unix" "uninstall removes the install folder"

# --- the same DLLs registered by regsvr32, for comparison ---------------------
mkdir -p "$folder_unix"
for view in "${views[@]}"; do
    read -r key dll host <<<"$view"
    find "$scratch/content" -name "$dll" -exec cp {} "$folder_unix/" \;
    run regsvr32 /s "$folder\\$dll"
    expect_status 0 "regsvr32 $dll"
done
snapshot "$scratch/regsvr32"
added_classes "$scratch/before" "$scratch/regsvr32" >"$scratch/by-regsvr32"
added_classes "$scratch/before" "$scratch/installed" >"$scratch/by-msi"
difference=$(diff "$scratch/by-regsvr32" "$scratch/by-msi")
if [ -z "$difference" ] && [ -s "$scratch/by-msi" ]; then
    pass "the package writes what regsvr32 writes ($(grep -vc '(key)' "$scratch/by-msi") values)"
else
    fail "the package and regsvr32 differ (< regsvr32, > package):"$'\n'"$difference"
fi
finish
