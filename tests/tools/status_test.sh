#!/usr/bin/env bash
# `OrvaneShellExt.exe status` under Wine, in a prefix of its own: a clean
# installation (the DLL registered with regsvr32, the main application's
# values, its icon library) has nothing wrong and exits 0, as text and as
# JSON; then one planted fault at a time must give exactly its finding and
# exit 1, and undoing it must leave the installation clean again. Then
# `repair` from broken states: it must mend what this user may change, end
# in status, change nothing outside HKCU, and change nothing the second time.
#   status_test.sh OrvaneShellExt.exe OrvaneShlExt64F.dll Main.icl PREFIX STANDIN
set -uo pipefail
status_exe=$1
dll=$2
icl=$3
export WINEPREFIX=$4
standin=$5
bash "$(dirname "$0")/../wineprefix.sh" setup "$WINEPREFIX" >/dev/null || exit 1
source "$(dirname "$0")/common.sh"
cleanup_actions+=("bash '$(dirname "$0")/../wineprefix.sh' cleanup '$WINEPREFIX' >/dev/null")

clsid='{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}'
install=$WINEPREFIX/drive_c/Orvane
install_win='C:\Orvane'
mkdir -p "$install/icl"
cp "$status_exe" "$install/OrvaneShellExt.exe"
cp "$status_exe" "$install/Orvane.exe"  # any program stands for the main application
cp "$dll" "$install/OrvaneShlExt64F.dll"
cp "$icl" "$install/icl/Main.icl"
reg() { wine reg "$@" >/dev/null 2>&1 </dev/null; }
run regsvr32 /s "$install_win\\OrvaneShlExt64F.dll"
expect_status 0 "regsvr32 registers the DLL"
reg add 'HKLM\Software\Kelvoss\Orvane' /v OrvanePath /d "$install_win\\Orvane.exe" /reg:64 /f
reg add 'HKLM\Software\Kelvoss\Orvane' /v OrvaneDir /d "$install_win" /reg:64 /f

# The ids of the FAULT lines of the last run, sorted and joined by spaces.
fault_ids() {
    sed -n 's/^FAULT \[\([a-z0-9-]*\)\].*/\1/p' "$last_output" | sort -u | tr '\n' ' ' | sed 's/ $//'
}
expect_clean() {
    run "$install/OrvaneShellExt.exe" status
    expect_status 0 "$1: status"
    if [ -z "$(fault_ids)" ] && grep -q '^Nothing is wrong' "$last_output"; then pass "$1: no fault"; else fail "$1: faults '$(fault_ids)'"; fi
}

# Wine keeps no access list: SetNamedSecurityInfoW succeeds, and the next
# read gives again the one made from the Unix mode, in which this user's own
# SID may change every file (mode 555 still leaves it the owner's WRITE_DAC).
# On an installation for every user status rightly calls that a fault: it is
# checked here, mode 777 (Everyone may write) too, and then Wine's own lines
# are taken out of every later run.
run "$install/OrvaneShellExt.exe" status
wine_owner_line='^FAULT \[install-writable\] [^ ]* can be changed by S-1-5-21-[0-9-]*, not only'
if [ "$(fault_ids)" = install-writable ] && [ "$(grep -c "$wine_owner_line" "$last_output")" = 3 ]; then
    pass "Wine's permissions: this user's own SID may change the folder, the DLL and the program"
else fail "Wine's permissions: faults '$(fault_ids)'"; fi
chmod 777 "$install"
run "$install/OrvaneShellExt.exe" status
expect_output '^FAULT \[install-writable\] C:\\Orvane can be changed by S-1-5-21-[0-9-]*, Everyone \(S-1-1-0\)' "a folder everyone may write names Everyone"
chmod 755 "$install"
run() {
    last_status=0
    wine "$@" >"$last_output.raw" 2>&1 </dev/null || last_status=$?
    tr -d '\r' <"$last_output.raw" | grep -v "$wine_owner_line" >"$last_output"
    if [ "$last_status" = 1 ] && ! grep -q '^FAULT' "$last_output"; then
        last_status=0
        sed -i 's/^[0-9]* faults\{0,1\}\.$/Nothing is wrong./' "$last_output"
    fi
}
expect_clean "clean installation"
expect_output '^ok    \[class\] HKLM.*64-bit view.*OrvaneShlExt64F.dll, version [0-9.]+, 64-bit x64' "the registration is shown"
expect_output '^note  \[signature\] .* is not signed' "an unsigned test build is only a note"
expect_output '^ok    \[icon-library\] Icon library: C:\\Orvane\\icl\\Main.icl' "the icon library is found"
expect_output '^note  \[user-key\]' "a missing HKCU\\\\Software\\\\Kelvoss is a note"
run "$install/OrvaneShellExt.exe" status --json
expect_status 0 "status --json"
if python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8")); sys.exit(any(f["severity"] == "fault" and f["id"] != "install-writable" for f in d["findings"]) or not d["findings"])' "$last_output"; then
    pass "--json is JSON with no fault"
else
    fail "--json is not the JSON wanted"
fi
run "$install/OrvaneShellExt.exe" status --yaml
expect_status 2 "an unknown option is refused"

# A copy signed by a throwaway certificate, then changed by one byte: Wine's
# WinVerifyTrust finds the digest wrong, as Windows does.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/key.pem" -out "$scratch/cert.pem" -days 2 \
    -subj "/CN=Status Test" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/cert.pfx" -passout pass:x
osslsigncode sign -pkcs12 "$scratch/cert.pfx" -pass x -in "$dll" -out "$scratch/tampered.dll" >/dev/null
printf '\xff' | dd of="$scratch/tampered.dll" bs=1 seek=1024 conv=notrunc status=none

blocked='HKCU\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Blocked'
tweak='HKCU\Software\Classes\CLSID\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}'
long_path="C:\\$(printf 'x%.0s' {1..300})\\OrvaneShlExt64F.dll"
# Windows 11 as Wine reports it once the build number says so; the package
# list is this user's AppModel repository, planted here.
version_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
build=$(wine reg query "$version_key" /v CurrentBuildNumber /reg:64 </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
win11="reg add '$version_key' /v CurrentBuildNumber /d 22631 /f /reg:64"
not_win11="reg add '$version_key' /v CurrentBuildNumber /d '$build' /f /reg:64"
package='HKCU\Software\Classes\Local Settings\Software\Microsoft\Windows\CurrentVersion\AppModel\Repository\Packages\Kelvoss.Orvane.ShellExt_2.2.0.0_x64__0123456789abc'
# name | planting | undoing | the one fault id wanted
faults=(
    "blocked class|reg add '$blocked' /v '$clsid' /d '' /f|reg delete '$blocked' /v '$clsid' /f|blocked"
    "DLL removed|mv '$install/OrvaneShlExt64F.dll' '$install/aside.dll'|mv '$install/aside.dll' '$install/OrvaneShlExt64F.dll'|class-file-missing"
    "64-bit DLL in the 32-bit view|reg add 'HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32' /ve /d '$install_win\\OrvaneShlExt64F.dll' /reg:32 /f|reg delete 'HKLM\\Software\\Classes\\CLSID\\$clsid' /reg:32 /f|class-wrong-view"
    "DLL changed after signing|cp '$scratch/tampered.dll' '$install/OrvaneShlExt64F.dll'|cp '$dll' '$install/OrvaneShlExt64F.dll'|signature-broken"
    "classic-menu tweak|reg add '$tweak\\InprocServer32' /ve /d '' /f|reg delete '$tweak' /f|classic-menu-tweak"
    "Windows 11 without the package|$win11|$not_win11|package-missing"
    "Windows 11, the package's folder without its DLL|$win11; reg add '$package' /v PackageRootFolder /d '$install_win\\icl' /f|$not_win11; reg delete '$package' /f|package-dll-missing"
    "main application missing|mv '$install/Orvane.exe' '$install/aside.exe'|mv '$install/aside.exe' '$install/Orvane.exe'|app-missing"
    "OrvanePath of binary garbage|reg add 'HKCU\\Software\\Kelvoss\\Orvane' /v OrvanePath /t REG_BINARY /d 01ff0a0d /f|reg delete 'HKCU\\Software\\Kelvoss' /f|product-value"
    "a per-user path over MAX_PATH|reg add 'HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32' /ve /d '$long_path' /f|reg delete 'HKCU\\Software\\Classes\\CLSID\\$clsid' /f|class-file-missing"
)
for row in "${faults[@]}"; do
    IFS='|' read -r name plant undo wanted <<<"$row"
    eval "$plant"
    run "$install/OrvaneShellExt.exe" status
    expect_status 1 "$name"
    if [ "$(fault_ids)" = "$wanted" ]; then pass "$name: exactly [$wanted]"; else fail "$name: faults '$(fault_ids)', wanted '$wanted'"; fi
    eval "$undo"
    expect_clean "after undoing '$name'"
done

# --- repair -------------------------------------------------------------------
# The registry of one hive, both views, as reg.exe exports it.
hive() {
    local view
    for view in 64 32; do
        wine reg export "$1\Software" "$scratch_win\\hive.reg" /reg:$view /y >/dev/null 2>&1 </dev/null
        iconv -f UTF-16LE -t UTF-8 "$scratch/hive.reg" 2>/dev/null | tr -d '\r'
    done
}
# name | breaking | what repair leaves (status's exit code) | mending what repair does not
powershell=$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe
cp "$powershell" "$scratch/powershell.orig"
cleanup_actions+=("cp '$scratch/powershell.orig' '$powershell'")
cp "$standin" "$powershell"
user_server="run regsvr32 /s /u '$install_win\\OrvaneShlExt64F.dll'; run regsvr32 /s /n /i:user '$install_win\\OrvaneShlExt64F.dll'"
machine_server="run regsvr32 /s /u /n /i:user '$install_win\\OrvaneShlExt64F.dll'; run regsvr32 /s '$install_win\\OrvaneShlExt64F.dll'"
handler='Software\Classes\*\shellex\ContextMenuHandlers\Orvane'
repairs=(
    "all fine|:|0|:"
    "handler key gone|reg delete 'HKLM\\$handler' /reg:64 /f|0|reg delete 'HKCU\\$handler' /f; reg add 'HKLM\\$handler' /ve /d '$clsid' /reg:64 /f"
    "per-user server gone|$user_server; reg delete 'HKCU\\Software\\Classes\\CLSID\\$clsid' /f|0|$machine_server"
    "package gone|$win11; touch '$install/Orvane-ShellExt-test.msix'|1|$not_win11; rm '$install/Orvane-ShellExt-test.msix'"
)
export ORVANE_STANDIN_LOG="$scratch_win\\powershell.log" WINEDLLOVERRIDES="powershell.exe=n"
for row in "${repairs[@]}"; do
    IFS='|' read -r name break wanted mend <<<"$row"
    eval "$break"
    machine_before=$(hive HKLM)
    grep -qi '^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID' <<<"$machine_before" || fail "repair, $name: HKLM not exported"
    run "$install/OrvaneShellExt.exe" repair
    expect_status "$wanted" "repair, $name"
    if [ "$name" = "all fine" ] && grep -q '\[repaired\]' "$last_output"; then fail "repair, $name: it mended something"
    elif [ "$name" != "all fine" ] && ! grep -q '^ok    \[repaired\]' "$last_output"; then fail "repair, $name: nothing mended"
    fi
    if [ "$wanted" = 0 ]; then expect_output '^Nothing is wrong' "repair, $name: status after it"
    elif [ "$(fault_ids)" = package-missing ]; then pass "repair, $name: only the package Wine cannot register is left"
    else fail "repair, $name: faults '$(fault_ids)'"; fi
    if [ "$(hive HKLM)" = "$machine_before" ]; then pass "repair, $name: HKLM unchanged"; else fail "repair, $name: HKLM changed"; fi
    user_before=$(hive HKCU)
    run "$install/OrvaneShellExt.exe" repair
    # Wine registers no package: there the second run hands it over again.
    if [ "$(hive HKCU)" = "$user_before" ] && { [ "$wanted" != 0 ] || ! grep -q '\[repaired\]' "$last_output"; }; then
        pass "repair, $name: a second run changes nothing"
    else fail "repair, $name: the second run changed something"; fi
    eval "$mend"
done
script=$(tr -d '\r' <"$scratch/powershell.log" 2>/dev/null | sed -n 's/^cmdline .*-File //p' | sort -u)
if [ "$script" = "\"$install_win\\Windows11Menu.ps1\" register \"$install_win\\Orvane-ShellExt-test.msix\" \"$install_win\\Windows11\\.\" Kelvoss.Orvane.ShellExt" ]; then
    pass "repair registers the package beside it as register-user does"
else fail "PowerShell was asked for '$script'"; fi
unset ORVANE_STANDIN_LOG WINEDLLOVERRIDES
expect_clean "after the repairs"
# The trace is on for the value 1 alone, as the extension reads the switch.
reg add 'HKCU\Software\Kelvoss\Orvane\ShellExt' /v Trace /t REG_DWORD /d 2 /f
run "$install/OrvaneShellExt.exe" status
expect_output '^note  \[switch-value\] .*Trace is 2: only 1 turns it on; the switch is off' "Trace 2 is reported off, as the extension takes it"
reg delete 'HKCU\Software\Kelvoss' /f

# Active Setup at each logon, as Windows runs it: the stub only while the
# user's recorded version is below the machine's, the user's stamp written
# after it whatever it did, then the user's RunOnce commands (each removed,
# then run). The build comes from the registry that Wine reports its
# version from: 19045 at the first logon after the installation, 22621 after
# the upgrade.
as_key='Software\Microsoft\Active Setup\Installed Components\{8A68A37C-FD28-4047-BF38-ACD1A1BFD8E9}'
runonce='HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'
nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
# The 64-bit view, as the values are written: where the 32-bit loader runs,
# `wine reg` is the 32-bit reg.exe and reads HKLM\Software through WOW6432Node.
reg_value() { wine reg query "$1" /v "$2" /reg:64 </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
saved_build=$(reg_value "$nt" CurrentBuildNumber)
reg add "HKLM\\$as_key" /v StubPath /d "\"$install_win\\OrvaneShellExt.exe\" register-user" /reg:64 /f
reg add "HKLM\\$as_key" /v Version /d '2,2,0,0' /reg:64 /f
logon() {
    reg add "$nt" /v CurrentBuildNumber /d "$1" /reg:64 /f
    reg add "$nt" /v CurrentBuild /d "$1" /reg:64 /f
    stub_status=none
    if [ "$(reg_value "HKCU\\$as_key" Version)" != "$(reg_value "HKLM\\$as_key" Version)" ]; then
        run "$install/OrvaneShellExt.exe" register-user
        stub_status=$last_status
        reg add "HKCU\\$as_key" /v Version /d "$(reg_value "HKLM\\$as_key" Version)" /f
    fi
    catch_up=$(reg_value "$runonce" OrvaneShellExtWindows11Menu)
    catch_up_status=none
    if [ -n "$catch_up" ]; then
        reg delete "$runonce" /v OrvaneShellExtWindows11Menu /f
        run "$install/OrvaneShellExt.exe" register-user
        catch_up_status=$last_status
    fi
}
# RunOnce is read after Active Setup within the same logon: the catch-up
# the stub left runs once there too, skips again and asks again.
logon 19045
if [ "$stub_status" = 0 ] && [ "$catch_up_status" = 0 ]; then pass "19045: the stub skips quietly"; else fail "19045: stub exit $stub_status, catch-up $catch_up_status"; fi
if [ "$(reg_value "$runonce" OrvaneShellExtWindows11Menu)" = "\"$install_win\\OrvaneShellExt.exe\" register-user" ]; then
    pass "19045: the skipped stub asks for the next logon"
else
    fail "19045: no catch-up in RunOnce"
fi
logon 19045
if [ "$stub_status" = none ] && [ "$catch_up_status" = 0 ] && [ -n "$(reg_value "$runonce" OrvaneShellExtWindows11Menu)" ]; then
    pass "19045 again: Active Setup is done, the catch-up runs and asks again"
else
    fail "19045 again: stub $stub_status, catch-up $catch_up_status"
fi
logon 22621
# Wine has no package manager: the registration itself fails (exit 3) after
# it was tried, which a skipped one never is.
if [ "$stub_status" = none ] && [ "$catch_up_status" = 3 ] && [ -z "$(reg_value "$runonce" OrvaneShellExtWindows11Menu)" ]; then
    pass "22621: the catch-up registers at the first logon on Windows 11, and asks no more"
else
    fail "22621: stub $stub_status, catch-up $catch_up_status"
fi
reg add "$nt" /v CurrentBuildNumber /d "$saved_build" /reg:64 /f
reg add "$nt" /v CurrentBuild /d "$saved_build" /reg:64 /f

finish
