#!/usr/bin/env bash
# The reference main application under Wine: every switch against real
# files, the streams it writes and removes, and its refusals.
#   refapp_test.sh OrvaneRefApp.exe Main.icl
set -uo pipefail
refapp=$1
icl_win=$(winepath -w "$2" 2>/dev/null)
source "$(dirname "$0")/common.sh"

log=$scratch/refapp.log
export ORVANE_REFAPP_LOG="$scratch_win\\refapp.log"
mkdir -p "$scratch/files"
printf 'one' >"$scratch/files/first file.txt"
printf 'two' >"$scratch/files/second.txt"
first="$scratch_win\\files\\first file.txt"
second="$scratch_win\\files\\second.txt"
sel="$scratch_win\\sel.dat"
write_selection "$scratch/sel.dat" "$first" "$second"

is_ico() {  # the .ico header: reserved 0, type 1, two images
    [ "$(head -c 6 "$1" | od -An -tx1 | tr -d ' \n')" = "000001000200" ]
}

# --- marking --------------------------------------------------------------
run "$refapp" -oi "$sel" "$icl_win" 5
expect_status 0 "-oi marks the selection"
for f in "first file.txt" second.txt; do
    if is_ico "$scratch/files/$f:ovx"; then pass "-oi wrote an icon into $f:ovx"; else fail "-oi: $f:ovx is not an icon"; fi
done
expect_no_file "$scratch/files/second.txt:orvaneicon" "-oi leaves the colour stream alone"
tr -d '\r' <"$log" >"$last_output"
expect_output '^  package identity: none$' "logs the package it runs as: none outside a package"

run "$refapp" -ci "$sel" 16748891
expect_status 0 "-ci marks the selection with a colour"
if is_ico "$scratch/files/second.txt:orvaneicon"; then pass "-ci wrote an icon into second.txt:orvaneicon"; else fail "-ci: no icon"; fi
# The 32x32 image's centre pixel, stored as B G R A: Blue is R 91, G 145, B 255.
centre=$(python3 - "$scratch/files/second.txt:orvaneicon" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
count = struct.unpack_from("<H", data, 4)[0]
for k in range(count):
    width, _, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * k)
    if width == 32:
        row_from_bottom = 31 - 16
        pixel = offset + 40 + (row_from_bottom * 32 + 16) * 4
        print(data[pixel:pixel + 4].hex())
PY
)
if [ "$centre" = "ff915bff" ]; then pass "-ci draws the COLORREF's colour"; else fail "-ci centre pixel $centre, wanted ff915bff"; fi

# --- removing -------------------------------------------------------------
write_selection "$scratch/one.dat" "$second"
run "$refapp" -uo "$scratch_win\\one.dat"
expect_status 0 "-uo"
expect_no_file "$scratch/files/second.txt:ovx" "-uo removes the marker"
expect_file "$scratch/files/second.txt:orvaneicon" "-uo keeps the colour"
run "$refapp" -uc "$scratch_win\\one.dat"
expect_no_file "$scratch/files/second.txt:orvaneicon" "-uc removes the colour"
expect_file "$scratch/files/first file.txt:ovx" "-uc and -uo leave unselected files alone"
run "$refapp" -rd "$sel"
expect_status 0 "-rd on a marked and an unmarked file"
expect_no_file "$scratch/files/first file.txt:ovx" "-rd removes the marker"
expect_file "$scratch/files/first file.txt" "-rd keeps the file itself"

run "$refapp" -mi "$sel"
expect_status 0 "-mi is recorded"

# --- refusals -------------------------------------------------------------
declare -a bad_lines=(
    "-zz"
    "-oi $sel $icl_win"
    "-oi $sel $icl_win five"
    "-ci $sel 16777216"
    "-ad extra"
)
for line in "${bad_lines[@]}"; do
    read -r -a words <<<"$line"
    run "$refapp" "${words[@]}"
    expect_status 2 "refuses: $line"
done
run "$refapp" -uo "$scratch_win\\missing.dat"
expect_status 3 "a missing selection file"
printf 'C:\\no-mark\r' >"$scratch/no-bom.dat"
run "$refapp" -uo "$scratch_win\\no-bom.dat"
expect_status 3 "a selection file without the byte-order mark"

run "$refapp" -oi "$sel" "$icl_win" 99
expect_status 4 "-oi with an icon the library does not have"
expect_no_file "$scratch/files/second.txt:ovx" "nothing is written when the icon cannot be read"
write_selection "$scratch/gone.dat" "$scratch_win\\files\\gone.txt" "$second"
run "$refapp" -oi "$scratch_win\\gone.dat" "$icl_win" 0
expect_status 4 "-oi with one file missing"
expect_file "$scratch/files/second.txt:ovx" "the other file is still marked"

# --- the log --------------------------------------------------------------
cp "$log" "$last_output"
starts=$(grep -c ' started: ' "$log")
if [ "$starts" -eq 15 ]; then pass "one log entry per start"; else fail "$starts log entries for 15 starts"; fi
expect_output 'rejected: unknown switch "-zz"' "the log names a rejected switch"
expect_output 'gone.txt: no such file' "the log names a missing file"
expect_output 'wrote .*first file.txt:ovx' "the log names the stream written"
finish
