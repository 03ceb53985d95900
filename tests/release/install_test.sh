#!/usr/bin/env bash
# The release package, installed and uninstalled under Wine as a user would:
# the zip is built from this build's DLLs, unpacked into the prefix, and its
# .cmd scripts are run with "wine cmd /c"; the registry must then hold (and
# afterwards no longer hold) the extension's entries, machine-wide and per
# user, in both registry views; in between, the shell hosts must be able to
# build the menu from the unpacked DLLs (machine-wide; see below for per user).
# Wine reports a Windows older than 11: the scripts must leave the sparse
# package alone there, without a word. Then, with Windows 11's build number
# and a recording stand-in in PowerShell's place, they must hand it the
# package and this folder. Last, as on Windows on ARM64 (the machine's
# processor in the registry says so), the scripts must register the ARM64
# files instead of the x64 ones: stand-ins record what regsvr32 and
# PowerShell are asked for, since this Wine runs no ARM64 code.
#   install_test.sh package.sh DLL64 DLL32 HOST64 HOST32 DLLCMD STANDIN ARM64_BIN
# Exit code 77 (skipped) when the 32-bit or the ARM64 build is missing: the
# package needs every DLL.
set -uo pipefail
package=$1
dll64=$2
dll32=$3
host64=$4
host32=$5
dllcmd=$6
standin=$7
arm64_bin=$8
if [ ! -f "$dll32" ] || [ ! -f "$dll64" ] || [ ! -f "$arm64_bin/OrvaneShlExtA64F.dll" ]; then
    echo "SKIP: the package needs every DLL; build the win64, win64-clang, win32 and win-arm64 presets first" \
        "(missing: $dll64, $dll32 or $arm64_bin/OrvaneShlExtA64F.dll)"
    exit 77
fi
source "$(dirname "$0")/../tools/common.sh"

clsid='{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}'
zip=$(ORVANE_SIGN_PFX= bash "$package" --dll64 "$dll64" --dll32 "$dll32" --dllcmd "$dllcmd" --dll-arm64 "$arm64_bin/OrvaneShlExtA64F.dll" \
    --zip-only --out "$scratch/out" | tail -1)
if [ -f "$zip" ]; then pass "package.sh wrote $(basename "$zip")"; else fail "package.sh wrote no zip"; finish; fi
unzip -q "$zip" -d "$scratch/unpacked"
folder=$(cd "$scratch/unpacked" && ls -d Orvane-ShellExt-*)
folder_win="$scratch_win\\unpacked\\$folder"
for f in Orvane-Test-Signing.cer install.cmd install-user.cmd uninstall.cmd uninstall-user.cmd platform.cmd INSTALL.txt \
    policy/Orvane.admx policy/en-US/Orvane.adml policy/de-DE/Orvane.adml; do
    expect_file "$scratch/unpacked/$folder/$f" "the package holds $f"
done
if sed -n 3p "$scratch/unpacked/$folder/INSTALL.txt" | grep -q '^TEST BUILD, TEST-SIGNED'; then pass "INSTALL.txt says test-signed"
else fail "INSTALL.txt's label: $(sed -n 3p "$scratch/unpacked/$folder/INSTALL.txt")"; fi
# Each program where the scripts look for its processor's, as the packaging
# checks its inputs (tools/package/peimage.py), and signed by the
# certificate beside it; each sparse package names the command DLL of its
# processor.
openssl x509 -inform DER -in "$scratch/unpacked/$folder/Orvane-Test-Signing.cer" -out "$scratch/signing.pem"
shipped=$(cat <<FILES
OrvaneShlExt64F.dll	x64
OrvaneShlExt32F.dll	x86
OrvaneShlExtA64F.dll	arm64
OrvaneShellExt.exe	x64	gui
Windows11/OrvaneShlExtCmd64F.dll	x64
Windows11/OrvaneShellExt.exe	x64	gui
Windows11-ARM64/OrvaneShlExtCmdA64F.dll	arm64
Windows11-ARM64/OrvaneShellExt.exe	arm64	gui
FILES
)
if faults=$(sed "s|^|$scratch/unpacked/$folder/|" <<<"$shipped" | python3 "$(dirname "$0")/../../tools/package/peimage.py" check 2>&1)
then pass "each program is where the scripts look for its processor's"; else fail "the package's programs: $faults"; fi
unsigned=$(cut -f1 <<<"$shipped" | while read -r f; do
    osslsigncode verify -CAfile "$scratch/signing.pem" -in "$scratch/unpacked/$folder/$f" >/dev/null 2>&1 || echo "$f"; done)
if [ -z "$unsigned" ]; then pass "each program is signed"; else fail "not signed: $unsigned"; fi
for package in "$folder.msix x64 OrvaneShlExtCmd64F.dll" "$folder-arm64.msix arm64 OrvaneShlExtCmdA64F.dll"; do
    read -r f machine dll <<<"$package"
    manifest=$(unzip -p "$scratch/unpacked/$folder/$f" AppxManifest.xml 2>/dev/null)
    if grep -q "ProcessorArchitecture=\"$machine\"" <<<"$manifest" && grep -q "Path=\"$dll\"" <<<"$manifest" &&
        osslsigncode verify -CAfile "$scratch/signing.pem" -in "$scratch/unpacked/$folder/$f" >/dev/null 2>&1
    then pass "$f is signed and declares $machine and $dll"; else fail "$f does not declare $machine and $dll, or is not signed"; fi
done
if head -1 "$scratch/unpacked/$folder/install.cmd" | grep -q $'\r$'; then pass "scripts have CR LF line ends"; else fail "install.cmd has no CR LF line ends"; fi

# The default value of a key in one registry view, or nothing.
default_of() {
    wine reg query "$1" /ve "/reg:$2" 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}
expect_default() {  # key view pattern what
    local value
    value=$(default_of "$1" "$2")
    if grep -qiE -- "$3" <<<"$value"; then pass "$4"; else fail "$4: '$1' ($2-bit view) holds '$value'"; fi
}
expect_no_key() {  # key view what
    if wine reg query "$1" "/reg:$2" >/dev/null 2>&1 </dev/null; then fail "$3: '$1' ($2-bit view) is still there"; else pass "$3"; fi
}
# Whether a per-user key written by a 32-bit program shows in the 64-bit view.
views_shared_for_user() {
    local probe='HKCU\Software\Classes\CLSID\{0F0F0F0F-0000-4000-8000-00000000F00D}'
    wine reg add "$probe" /ve /d probe /f /reg:32 >/dev/null 2>&1 </dev/null
    local shared=1
    wine reg query "$probe" /reg:64 >/dev/null 2>&1 </dev/null || shared=0
    wine reg delete "$probe" /f /reg:32 >/dev/null 2>&1 </dev/null
    wine reg delete "$probe" /f /reg:64 >/dev/null 2>&1 </dev/null
    [ "$shared" = 1 ]
}
server_key="CLSID\\$clsid\\InprocServer32"
handler_key='*\shellex\ContextMenuHandlers\Orvane'
cleanup_actions+=("wine cmd /c '$folder_win\\uninstall.cmd' >/dev/null 2>&1 </dev/null"
    "wine cmd /c '$folder_win\\uninstall-user.cmd' >/dev/null 2>&1 </dev/null")

# Where 32-bit programs cannot run, a recording stand-in takes the place of
# the 32-bit regsvr32 (the 64-bit one stays Wine's own): the scripts' calls of
# it are checked, the 32-bit view's contents and the 32-bit host are not.
overrides=
if ! win32_runs; then
    skip "the 32-bit view and host: 32-bit programs cannot run on this machine; a stand-in records the 32-bit regsvr32's calls"
    mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
    cp "$standin" "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe"
    cleanup_actions+=("rm -f '$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe'")
    overrides="regsvr32.exe=n,b;"
    export ORVANE_STANDIN_LOG="$scratch_win\\regsvr32.log" WINEDLLOVERRIDES="$overrides"
fi
# The 32-bit regsvr32's calls since the last look, as "arguments" lines (runs of
# spaces squeezed: an empty option of the scripts leaves two).
regsvr32_calls() {
    tr -d '\r' <"$scratch/regsvr32.log" 2>/dev/null | sed -n 's/^cmdline .*regsvr32\.exe" //p' | tr -s ' '
    rm -f "$scratch/regsvr32.log"
}
expect_32bit_default() {  # key pattern what; else the stand-in's call: arguments
    if win32_runs; then expect_default "$1" 32 "$2" "$3"; return; fi
    local calls
    calls=$(regsvr32_calls)
    if grep -qiF -- "$4" <<<"$calls"; then pass "$3 (the 32-bit regsvr32 was asked: $4)"
    else fail "$3: the 32-bit regsvr32 was not asked for $4; it was asked for: $calls"; fi
}

# --- machine-wide -----------------------------------------------------------
run cmd /c "$folder_win\\install.cmd"
expect_status 0 "install.cmd"
expect_output 'OrvaneShlExt64F.dll: registered for all users' "install.cmd reports the 64-bit DLL"
expect_output 'OrvaneShlExt32F.dll: registered for all users' "install.cmd reports the 32-bit DLL"
if grep -qi 'msix\|appx' "$last_output"; then fail "install.cmd must not touch the package before Windows 11"; else pass "install.cmd skips the package quietly"; fi
expect_default "HKLM\\Software\\Classes\\$server_key" 64 "unpacked.*\\\\OrvaneShlExt64F\\.dll$" "64-bit view: the 64-bit DLL from the unpacked folder"
expect_32bit_default "HKLM\\Software\\Classes\\$server_key" "unpacked.*\\\\OrvaneShlExt32F\\.dll$" \
    "32-bit view: the 32-bit DLL from the unpacked folder" "/s \"$folder_win\\OrvaneShlExt32F.dll\""
expect_default "HKCR\\$handler_key" 64 "^$clsid$" "the context-menu handler names the class"
run "$host64" menu "$scratch_win\\unpacked\\$folder\\INSTALL.txt"
expect_output '12 command identifier' "the 64-bit host builds the menu from the installed DLL"
if [ -f "$host32" ] && win32_runs; then
    run "$host32" menu "$scratch_win\\unpacked\\$folder\\INSTALL.txt"
    expect_output 'OrvaneShlExt32F.dll' "the 32-bit host finds the 32-bit DLL"
    expect_output '12 command identifier' "the 32-bit host builds the menu from the installed DLL"
fi
run cmd /c "$folder_win\\uninstall.cmd"
expect_status 0 "uninstall.cmd"
expect_no_key "HKLM\\Software\\Classes\\$server_key" 64 "uninstall.cmd removes the 64-bit class"
win32_runs && expect_no_key "HKLM\\Software\\Classes\\$server_key" 32 "uninstall.cmd removes the 32-bit class"
expect_no_key "HKCR\\$handler_key" 64 "uninstall.cmd removes the handler entry"

# --- per user ---------------------------------------------------------------
run cmd /c "$folder_win\\install-user.cmd"
expect_status 0 "install-user.cmd"
expect_output 'registered for the current user' "install-user.cmd reports per-user registration"
# Windows keeps per-user classes of 32-bit programs apart (Wow6432Node);
# Wine 8 does not, so there the 32-bit DLL, registered last, wins both views.
if views_shared_for_user && win32_runs; then
    user64_dll=OrvaneShlExt32F
    user64_host=$host32
    echo "note: this Wine shares HKCU\Software\Classes between the 32- and 64-bit views"
else
    user64_dll=OrvaneShlExt64F
    user64_host=$host64
fi
expect_default "HKCU\\Software\\Classes\\$server_key" 64 "\\\\$user64_dll\\.dll$" "per user, 64-bit view: $user64_dll.dll"
expect_32bit_default "HKCU\\Software\\Classes\\$server_key" "\\\\OrvaneShlExt32F\\.dll$" \
    "per user, 32-bit view: the 32-bit DLL" "/s /n /i:user \"$folder_win\\OrvaneShlExt32F.dll\""
expect_default "HKCU\\Software\\Classes\\$handler_key" 64 "^$clsid$" "per user: the handler entry"
expect_no_key "HKLM\\Software\\Classes\\$server_key" 64 "per user: nothing machine-wide"
# Wine's COM reads classes from HKEY_LOCAL_MACHINE only, so a per-user
# registration can be found but not created there; Windows creates it.
run "$user64_host" menu "$scratch_win\\unpacked\\$folder\\INSTALL.txt"
expect_output "\\(per user\\)" "the host finds the per-user handler"
expect_output "$user64_dll\\.dll, ThreadingModel Apartment" "and its server"
run cmd /c "$folder_win\\uninstall-user.cmd"
expect_status 0 "uninstall-user.cmd"
expect_no_key "HKCU\\Software\\Classes\\$server_key" 64 "uninstall-user.cmd removes the 64-bit class"
win32_runs && expect_no_key "HKCU\\Software\\Classes\\$server_key" 32 "uninstall-user.cmd removes the 32-bit class"
expect_no_key "HKCU\\Software\\Classes\\$handler_key" 64 "uninstall-user.cmd removes the handler entry"

# --- Windows 11 -------------------------------------------------------------
version_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
build=$(wine reg query "$version_key" /v CurrentBuildNumber </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
powershell=$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe
cp "$powershell" "$scratch/powershell.orig"
cleanup_actions+=("cp '$scratch/powershell.orig' '$powershell'"
    "wine reg add '$version_key' /v CurrentBuildNumber /d '$build' /f >/dev/null 2>&1 </dev/null")
cp "$standin" "$powershell"
wine reg add "$version_key" /v CurrentBuildNumber /d 22631 /f >/dev/null 2>&1 </dev/null
export ORVANE_STANDIN_LOG="$scratch_win\\powershell.log" WINEDLLOVERRIDES="${overrides}powershell.exe=n"
run cmd /c "$folder_win\\install-user.cmd"
expect_status 0 "install-user.cmd on Windows 11"
expect_output "$folder\\.msix: registered for the current user" "install-user.cmd reports the package"
run cmd /c "$folder_win\\uninstall-user.cmd"
expect_status 0 "uninstall-user.cmd on Windows 11"
# The commands are fixed text; the paths come through the environment.
powershell_calls() {  # LOG: each call's command, then its paths
    # The machine-wide folder check (Get-Acl) has a check of its own below.
    tr -d '\r' <"$1" | sed -n '/-Command .*Get-Acl/d; s/^cmdline .*-Command //p; s/^env ORVANE_PACKAGE_\(PATH\|LOCATION\)=/\1 /p'
}
add_command="\"Get-AppxPackage -Name 'Kelvoss.Orvane.ShellExt' | Remove-AppxPackage -ErrorAction Stop; Add-AppxPackage -Path \$env:ORVANE_PACKAGE_PATH -ExternalLocation \$env:ORVANE_PACKAGE_LOCATION -ErrorAction Stop\""
remove_command="\"Get-AppxPackage -Name 'Kelvoss.Orvane.ShellExt' | Remove-AppxPackage -ErrorAction Stop\""
expected="$add_command
PATH $folder_win\\$folder.msix
LOCATION $folder_win\\Windows11
$remove_command"
commands=$(powershell_calls "$scratch/powershell.log")
if [ "$commands" = "$expected" ]; then pass "PowerShell replaces the package with the Windows11 folder, then removes it"
else fail "PowerShell was asked for:"$'\n'"$commands"$'\n'"wanted:"$'\n'"$expected"; fi

# A folder whose name cmd and PowerShell would each take as code:
# typographic quotes end a PowerShell string, ^ & ( ) mean something to cmd.
# The scripts take it as data: everything is registered from it,
# PowerShell's commands never hold it, and nothing else runs. (Wine's cmd
# itself mangles % and ! in %~dp0, which Windows' does not: those two are a
# step of docs/windows11.md.)
hostile="Bob’s ^tools & mkdir pwned & x’;mkdir pwned;’ (1)"
cp -r "$scratch/unpacked/$folder" "$scratch/unpacked/$hostile"
hostile_win="$scratch_win\\unpacked\\$hostile"
export ORVANE_STANDIN_LOG="$scratch_win\\hostile.log"
pushd "$scratch/unpacked/$hostile" >/dev/null || exit 1
run cmd /c install.cmd
expect_status 0 "install.cmd from a folder named $hostile"
registered=$(default_of "HKLM\\Software\\Classes\\$server_key" 64)
# reg prints through the console's code page, which has no ’.
if [ "$registered" = "${hostile_win//’/\'}\\OrvaneShlExt64F.dll" ]; then pass "the class names the DLL in that folder"
else fail "the class names '$registered'"; fi
run cmd /c uninstall.cmd
expect_status 0 "uninstall.cmd from that folder"
popd >/dev/null || exit 1
commands=$(powershell_calls "$scratch/hostile.log")
if [ "$commands" = "$add_command
PATH $hostile_win\\$folder.msix
LOCATION $hostile_win\\Windows11
$remove_command" ]; then pass "PowerShell gets that folder only as data"
else fail "PowerShell was asked for:"$'\n'"$commands"; fi
# (grep reads the whole log: with -q its early exit would fail the pipe.)
if tr -d '\r' <"$scratch/hostile.log" | grep -xF "env ORVANE_FOLDER=$hostile_win\\" >/dev/null; then
    pass "the machine-wide install has PowerShell judge that folder"
else fail "the folder check was not asked for $hostile_win: $(tr -d '\r' <"$scratch/hostile.log" | grep '^env ORVANE_FOLDER' | sort -u)"; fi
if [ -z "$(find "$scratch" -name pwned -print -quit)" ]; then pass "nothing in the folder's name ran"
else fail "a command in the folder's name ran"; fi

# --- Windows on ARM64 -------------------------------------------------------
# Still Windows 11. The machine's processor as Windows records it, whatever
# the prompt calls itself; both regsvr32 are stand-ins now.
machine_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
machine=$(wine reg query "$machine_key" /v PROCESSOR_ARCHITECTURE </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
cleanup_actions+=("wine reg add '$machine_key' /v PROCESSOR_ARCHITECTURE /d '$machine' /f >/dev/null 2>&1 </dev/null")
for view in system32 syswow64; do
    regsvr32=$WINEPREFIX/drive_c/windows/$view/regsvr32.exe
    if [ -f "$regsvr32" ]; then cp "$regsvr32" "$scratch/regsvr32-$view.orig"; fi
    cleanup_actions+=("if [ -f '$scratch/regsvr32-$view.orig' ]; then cp '$scratch/regsvr32-$view.orig' '$regsvr32'; else rm -f '$regsvr32'; fi")
    cp "$standin" "$regsvr32"
done
wine reg add "$machine_key" /v PROCESSOR_ARCHITECTURE /d ARM64 /f >/dev/null 2>&1 </dev/null
export ORVANE_STANDIN_LOG="$scratch_win\\arm64.log" WINEDLLOVERRIDES="regsvr32.exe=n,b;powershell.exe=n"
run cmd /c "$folder_win\\install.cmd"
expect_status 0 "install.cmd on ARM64"
run cmd /c "$folder_win\\uninstall.cmd"
expect_status 0 "uninstall.cmd on ARM64"
calls=$(tr -d '\r' <"$scratch/arm64.log" | sed -n 's/^cmdline //p' | tr -s ' ')
# Each regsvr32 call as "native|SysWOW64 arguments DLL", in order.
registered=$(sed -nE 's/.*\\(System32|Sysnative|SysWOW64)\\regsvr32\.exe" (.*) ".*\\([^\\]*)"$/\1 \2 \3/ip' <<<"$calls" |
    sed -E 's/^(System32|Sysnative) /native /I')
expected="native /s OrvaneShlExtA64F.dll
SysWOW64 /s OrvaneShlExt32F.dll
native /s /u OrvaneShlExtA64F.dll
SysWOW64 /s /u OrvaneShlExt32F.dll"
if [ "$registered" = "$expected" ]; then pass "on ARM64 the native regsvr32 gets the ARM64 DLL, SysWOW64's the 32-bit one"
else fail "on ARM64 regsvr32 was asked for:"$'\n'"$registered"$'\n'"wanted:"$'\n'"$expected"; fi
wanted="PATH $folder_win\\$folder-arm64.msix
LOCATION $folder_win\\Windows11-ARM64"
if grep -qF -- "$wanted" <<<"$(powershell_calls "$scratch/arm64.log")"; then pass "on ARM64 PowerShell adds the ARM64 package with its folder"
else fail "on ARM64 PowerShell was not asked for $wanted:"$'\n'"$(powershell_calls "$scratch/arm64.log")"; fi
finish
