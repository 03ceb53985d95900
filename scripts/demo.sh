#!/usr/bin/env bash
# The main job for a newcomer: sets up a fresh Debian machine, builds both
# shell-extension DLLs and the tools, registers both DLLs in a private Wine
# prefix with a sample Orvane installation, and shows the extension at work:
# the menu as a tree and on screen, a choice handed to the reference main
# application, the icon handler finding the new mark, and the hand-off ten
# seconds after the right-click. No prompts; a few minutes.
#
# ORVANE_BUILD_ROOT (default: build) says where the build trees and the
# demo's output (build/demo) go.
source "$(dirname "$0")/common.sh"
demo=$build_root/demo
steps=11
step_no=0

step() {
    step_no=$((step_no + 1))
    printf '\n[%d/%d] %s\n' "$step_no" "$steps" "$*"
}
note() { printf '    %s\n' "$*"; }

# Wine programs write to a file first: Wine's service processes inherit the
# output handles and may outlive the program, which would hold a pipe open.
wine_out=$(mktemp)
trap 'rm -f "$wine_out"' EXIT
run_wine() {
    local status=0
    wine "$@" >"$wine_out" 2>&1 </dev/null || status=$?
    sed 's/\r$//; s/^/    /' "$wine_out"
    return $status
}
quiet_wine() { wine "$@" >/dev/null 2>&1 </dev/null; }

# ---------------------------------------------------------------------------
step "Packages and build"
bash scripts/setup.sh | sed 's/^/    /'
source scripts/wine-env.sh
orvane_wine_env "$root"
for preset in win64 win32; do
    # The 64-bit build also makes the Windows 11 menu's Explorer command and
    # the package manifest that declares its class.
    if [ "$preset" = win64 ]; then
        dll=OrvaneShlExt64F extra="OrvaneShlExtCmd64F OrvaneAppxManifest"
    else
        dll=OrvaneShlExt32F extra=
    fi
    build_log=$demo/build-$preset.log
    mkdir -p "$demo"
    note "building $preset (log: $build_log)"
    if ! { cmake --preset "$preset" -B "$build_root/$preset" &&
        cmake --build "$build_root/$preset" -j2 --target "$dll" $extra OrvaneShellHost OrvaneRefApp OrvaneAsUser; } >"$build_log" 2>&1; then
        tail -n 30 "$build_log" >&2
        echo "demo: the $preset build failed; the whole log is in $build_log" >&2
        exit 1
    fi
    note "built $build_root/$preset/bin: $dll.dll${extra:+, OrvaneShlExtCmd64F.dll, AppxManifest.xml}, OrvaneShellHost.exe, OrvaneRefApp.exe"
done

# The demo installation's icon library: a resource-only DLL of generated
# icons, at the indexes the menu asks for.
mkdir -p "$demo/icons"
python3 tools/demo/gen_demo_icons.py "$demo/icons"
x86_64-w64-mingw32-windres -F pe-x86-64 -O coff -I "$demo/icons" -i "$demo/icons/DemoIcl.rc" -o "$demo/icons/DemoIcl.o"
x86_64-w64-mingw32-g++ -shared -nostdlib -s -Wl,-e,0 -o "$demo/icons/Main.icl" "$demo/icons/DemoIcl.o"

# ---------------------------------------------------------------------------
step "A private Wine prefix ($demo/wineprefix)"
export WINEPREFIX=$demo/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY
bash tests/wineprefix.sh setup "$WINEPREFIX" >/dev/null
trap 'rm -f "$wine_out"; wineserver -k 2>/dev/null || true' EXIT
note "ready"

# ---------------------------------------------------------------------------
step "Sample installation and registration"
c_drive=$WINEPREFIX/drive_c
install_win='C:\Program Files\Kelvoss\Orvane'
install=$c_drive/Program\ Files/Kelvoss/Orvane
files_win='C:\Demo files'
files=$c_drive/Demo\ files
mkdir -p "$install/icl" "$install/Languages" "$install/ShellExt" "$files"
cp "$demo/icons/Main.icl" "$install/icl/Main.icl"
cp "$build_root/win64/bin/OrvaneShlExt64F.dll" "$build_root/win32/bin/OrvaneShlExt32F.dll" "$install/ShellExt/"
cp "$build_root/win64/bin/OrvaneRefApp.exe" "$install/"

# Language files are INI files in UTF-16LE with a byte-order mark.
write_language() {
    { printf '\xff\xfe'; sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$install/Languages/$1.lng"
}
write_language english <<'LNG'
[menu_items]
#DEFITEM#_High Priority=High Priority
#DEFITEM#_Low Priority=Low Priority
#DEFITEM#_Planned Work=Planned Work
#DEFITEM#_Done Work=Done Work
#DEFITEM#_Approved=Approved
#DEFITEM#_Rejected=Rejected
#DEFITEM#_Red=Red
#DEFITEM#_Green=Green
#DEFITEM#_Blue=Blue
#DEFITEM#_Gray=Gray
#DEFITEM#_Mark_File=Mark File
#DEFITEM#_Remove_Color=Remove Color
#DEFITEM#_Remove_Marker_Color=Remove Marker && Color
#DEFITEM#_Restore_Default=Restore Default
#DEFITEM#_More_Icons=More Icons
LNG
write_language deutsch <<'LNG'
[menu_items]
#DEFITEM#_High Priority=Hohe Priorität
#DEFITEM#_Low Priority=Niedrige Priorität
#DEFITEM#_Planned Work=Geplant
#DEFITEM#_Done Work=Erledigt
#DEFITEM#_Approved=Genehmigt
#DEFITEM#_Rejected=Abgelehnt
#DEFITEM#_Red=Rot
#DEFITEM#_Green=Grün
#DEFITEM#_Blue=Blau
#DEFITEM#_Gray=Grau
#DEFITEM#_Mark_File=Datei markieren
#DEFITEM#_Remove_Color=Farbe entfernen
#DEFITEM#_Remove_Marker_Color=Markierung && Farbe entfernen
#DEFITEM#_Restore_Default=Standard wiederherstellen
#DEFITEM#_More_Icons=Weitere Symbole
LNG

wine cmd /c echo %AppData% >"$wine_out" 2>/dev/null </dev/null
appdata_win=$(tr -d '\r' <"$wine_out")
winepath -u "$appdata_win" >"$wine_out" 2>/dev/null </dev/null
appdata=$(cat "$wine_out")
orvane_data=$appdata/Kelvoss/Orvane
mkdir -p "$orvane_data"
set_language() { printf '[Options]\r\nLang=%s\r\n' "$1" >"$orvane_data/ViewSettings.ini"; }
set_language english

quiet_wine reg add 'HKLM\Software\Kelvoss\Orvane' /v OrvanePath /t REG_SZ /d "$install_win\\OrvaneRefApp.exe" /f /reg:64
quiet_wine reg add 'HKLM\Software\Kelvoss\Orvane' /v OrvaneDir /t REG_SZ /d "$install_win" /f /reg:64
# The extension leaves its version mark only in an existing per-user key.
quiet_wine reg add 'HKCU\Software\Kelvoss\Orvane' /f /reg:64

printf 'Figures for the third quarter.\r\n' >"$files/Quarterly report.txt"
printf 'item;amount\r\nrent;1200\r\n' >"$files/budget 2026.csv"
printf 'Ideas.\r\n' >"$files/notes.txt"
report="$files_win\\Quarterly report.txt"
budget="$files_win\\budget 2026.csv"
notes="$files_win\\notes.txt"

registered=(OrvaneShlExt64F)
[ "$ORVANE_WIN32_RUNS" = 1 ] && registered+=(OrvaneShlExt32F)
for dll in "${registered[@]}"; do
    if ! quiet_wine regsvr32 /s "$install_win\\ShellExt\\$dll.dll"; then
        echo "demo: regsvr32 $dll.dll failed" >&2
        exit 1
    fi
    note "regsvr32 /s $install_win\\ShellExt\\$dll.dll: registered"
done
note "installation  $install_win (icl\\Main.icl, Languages\\english.lng and deutsch.lng)"
note "main app      $install_win\\OrvaneRefApp.exe (the reference main application)"
note "settings      $appdata_win\\Kelvoss\\Orvane\\ViewSettings.ini, Lang=english"
note "sample files  $files_win: Quarterly report.txt, budget 2026.csv, notes.txt"

host64=$build_root/win64/bin/OrvaneShellHost.exe
host32=$build_root/win32/bin/OrvaneShellHost.exe
run_wine "$host64" handlers

# ---------------------------------------------------------------------------
step "The menu for two files, as the 64-bit host sees it"
run_wine "$host64" menu "$report" "$budget"
note ""
note "With Shift held (extended verbs), \"Restore Default\" opens a submenu:"
run_wine "$host64" menu --extended "$report" | sed -n '/^ *12  /,/^ *13  /p'

# ---------------------------------------------------------------------------
step "The same through the 32-bit DLL, with Lang=deutsch"
set_language deutsch
if [ "$ORVANE_WIN32_RUNS" = 1 ]; then
    run_wine "$host32" menu "$report" | sed -n '/^    server/p; /context menu:/,$p'
else
    note "skipped: this machine's kernel cannot run 32-bit programs; the German menu is"
    note "shown through the 64-bit host instead"
    host32=$host64
    run_wine "$host64" menu "$report" | sed -n '/^    server/p; /context menu:/,$p'
fi

# ---------------------------------------------------------------------------
step "The Windows 11 menu: the Explorer command's tree (Lang=deutsch still)"
# The host reads the command's class from the package manifest beside it, as
# Windows reads it from the installed package, and asks the DLL beside it.
run_wine "$host64" xmenu "$report" "$budget" | sed -n '/^    command/p; /Windows 11 menu:/,$p'
note ""
note "Explorer shows this tree at the top of the Windows 11 context menu once the sparse"
note "package is installed; whether it shows the icons from the icon library can only be seen"
note "on Windows 11 itself."

# ---------------------------------------------------------------------------
step "Pictures of the open menu (Xvfb)"
cat >"$demo/shots.txt" <<SHOTS
$demo/menu.png|english|$host64|--open 1 --hold 1500|$report|$budget
$demo/menu-extended.png|english|$host64|--extended --open 2 --hold 1500|$report|$budget
$demo/menu-deutsch.png|deutsch|$host32|--open 1 --hold 1500|$report|$budget
SHOTS
# Wine's desktop process keeps the display of the program that started it:
# the shots share one X server, and the prefix's server is restarted around
# them so that the other steps run without a display.
wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 800x600x24" bash tools/demo/screenshots.sh "$orvane_data/ViewSettings.ini" "$demo/shots.txt" \
    | grep -E 'menu open|saved|no picture' || true
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p >/dev/null 2>&1 </dev/null
set_language english

# ---------------------------------------------------------------------------
refapp_log=$orvane_data/refapp.log
log_entries() {
    if [ -f "$refapp_log" ]; then grep -c 'exit code' "$refapp_log" || true; else echo 0; fi
}
wait_for_entries() {
    for _ in $(seq 1 100); do
        [ "$(log_entries)" -ge "$1" ] && return 0
        sleep 0.2
    done
    return 1
}
show_log_from() { tail -c +"$(($1 + 1))" "$refapp_log" | sed 's/\r$//; s/^/    | /'; }
log_size() { if [ -f "$refapp_log" ]; then stat -c %s "$refapp_log"; else echo 0; fi; }

step "Choosing \"Done Work\" for two files, and the hand-off 10 s later"
before=$(log_size)
entries=$(log_entries)
note "(the host keeps pumping messages for 12 s so that the hand-off timer can fire)"
run_wine "$host64" invoke --item "Done Work" --wait 12 "$report" "$budget" | tee "$demo/invoke.txt"
wait_for_entries $((entries + 2)) || note "(the reference application did not log twice)"
note ""
note "The reference main application's log ($appdata_win\\Kelvoss\\Orvane\\refapp.log):"
show_log_from "$before"

to_ms() { awk -F'[:.]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'; }
init_time=$(grep -o '^ *\[[0-9:.]*\] IShellExtInit::Initialize' "$demo/invoke.txt" | grep -o '[0-9:.]*[0-9]' | head -1)
handoff_time=$(tail -c +"$((before + 1))" "$refapp_log" | grep 'started: .* -ad' | head -1 | awk '{ print $2 }')
if [ -n "$init_time" ] && [ -n "$handoff_time" ]; then
    delay=$(($(to_ms <<<"$handoff_time") - $(to_ms <<<"$init_time")))
    note ""
    note "right-click (Initialize) at $init_time; \"-ad\" arrived at $handoff_time: $((delay / 1000)).$(printf '%03d' $((delay % 1000))) s later"
fi

# ---------------------------------------------------------------------------
step "The icon handler now points at the marker stream"
run_wine "$host64" icon "$report" "$budget" "$notes"

# ---------------------------------------------------------------------------
step "A colour, and back to the default"
before=$(log_size)
entries=$(log_entries)
run_wine "$host64" invoke --item Blue --wait 0 "$notes" | grep InvokeCommand || true
run_wine "$host64" invoke --item "Restore Default" --wait 0 "$budget" | grep InvokeCommand || true
wait_for_entries $((entries + 2)) || true
show_log_from "$before" | grep -E 'started|wrote|removed|had no' | sed 's/started: .*OrvaneRefApp.exe"/started:/' || true
run_wine "$host64" icon "$budget" "$notes" | grep -v '^    handler\|^    server' || true

# ---------------------------------------------------------------------------
step "Summary"
wine reg query 'HKCU\Software\Kelvoss\Orvane' /v DllVer /reg:64 >"$wine_out" 2>/dev/null </dev/null || true
dllver=$(tr -d '\r' <"$wine_out" | awk '/DllVer/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
note "${registered[*]} registered with regsvr32 in $WINEPREFIX"
note "the extension built the marker menu (12 items, 14 with Shift), in English and German,"
note "and the Explorer command the same items for the Windows 11 menu;"
note "handed \"Done Work\" to the reference main application (-oi), which wrote the marker"
note "into \"Quarterly report.txt:ovx\"; the icon handler now names that stream; \"-ad\" followed"
note "10 s after the right-click; the version mark DllVer = \"$dllver\""
note ""
note "pictures:  $(cd "$demo" && ls -1 ./*.png 2>/dev/null | sed "s|^\./|$demo/|" | tr '\n' ' ')"
note "log:       ${refapp_log/dosdevices\/c:/drive_c}"
note "try more:  WINEPREFIX=$WINEPREFIX wine $host64 help"
