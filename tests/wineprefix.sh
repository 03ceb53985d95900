#!/usr/bin/env bash
# Makes or removes the private Wine prefix of one test run.
#   wineprefix.sh setup DIR [WEIGHT]   a fresh prefix in DIR, with its server kept alive
#   wineprefix.sh cleanup DIR          stops the prefix's server and deletes DIR
# WEIGHT tells how much a program running in the prefix counts when another
# prefix's processor is chosen (scripts/wine-cpu.py, at each program start):
# 1, or more for a prefix of one long test; a prefix of the emulated ARM64
# Wine counts four times its weight.
#
# A fresh prefix is a copy of a pristine one that `wineboot --init` makes
# once per Wine version and WINEARCH in the user's cache (about ten seconds;
# a copy takes well under one). Wine's own DLLs in system32 and syswow64,
# over a gigabyte, are hard links into the pristine prefix; everything else
# is copied, the programs among them: tests put stand-ins in the place of
# some (regsvr32.exe, powershell.exe), and a write into a link would reach
# the pristine prefix and every copy. A pristine prefix with any file newer
# than itself was written through a link all the same and is made again.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY
here=$(cd "$(dirname "$0")" && pwd)

pristine_prefix() {
    local version
    version=$(ORVANE_WINE_ANY_CPU=1 wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
    # The x64 and the arm64 Wine (ORVANE_WINE_MACHINE=arm64) give the same
    # version: each has a pristine prefix of its own.
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/orvane-wineprefix/$version-${WINEARCH:-win64}${ORVANE_WINE_MACHINE:+-$ORVANE_WINE_MACHINE}"
}

# Makes the pristine prefix unless it is complete; one maker at a time.
make_pristine() {
    local pristine=$1
    mkdir -p "$(dirname "$pristine")"
    exec 9>"$pristine.lock"
    flock 9
    if [ ! -f "$pristine/.complete" ] || [ -n "$(find "$pristine" -type f -newer "$pristine/.complete" -print -quit)" ]; then
        rm -rf "$pristine"
        WINEPREFIX=$pristine wineboot --init </dev/null >/dev/null 2>&1
        WINEPREFIX=$pristine wineserver -w
        # Made on one processor, like every prefix; its copies choose their own.
        rm -f "$pristine/.orvane-cpu"
        touch "$pristine/.complete"
    fi
    exec 9>&-
}

copy_pristine() {
    local pristine=$1 dlls=("./drive_c/windows/system32/*.dll" "./drive_c/windows/syswow64/*.dll")
    mkdir -p "$WINEPREFIX"
    # Not the name of the server's folder under /tmp (the file `wineserver`):
    # each copy's server makes its own.
    tar -C "$pristine" --exclude=./.complete --exclude=./wineserver --exclude="${dlls[0]}" --exclude="${dlls[1]}" \
        -cf - . | tar -C "$WINEPREFIX" -xf -
    # The same files as the patterns above (a tar pattern's * also matches /).
    (cd "$pristine" && find ./drive_c/windows/system32 ./drive_c/windows/syswow64 -type f -name '*.dll' -print0 \
        2>/dev/null | xargs -0 -r cp --parents --link -t "$WINEPREFIX")
}

case $action in
setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    pristine=$(pristine_prefix)
    make_pristine "$pristine"
    copy_pristine "$pristine"
    # A prefix of the emulated ARM64 Wine weighs four times as much: each of
    # its programs is translated as it runs, and costs several times the
    # processor time of its x64 twin. Counted as 1, the ARM64 prefixes and
    # the x64 sweep once shared one processor while the other ran the
    # lighter trees.
    weight=${3:-1}
    [ "${ORVANE_WINE_MACHINE:-}" != arm64 ] || weight=$((weight * 4))
    ORVANE_WINE_CPU_WEIGHT=$weight python3 "$here/../scripts/wine-cpu.py" "$WINEPREFIX" >/dev/null
    # One persistent server for the whole run: every later start is cheap.
    wineserver -p </dev/null >/dev/null 2>&1
    echo "wine prefix ready at $WINEPREFIX"
    ;;
cleanup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    echo "wine prefix removed"
    ;;
*)
    echo "usage: $0 setup DIR [WEIGHT] | cleanup DIR" >&2
    exit 2
    ;;
esac
