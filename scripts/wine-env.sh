# Sourced by the scripts that run Windows programs under Wine.
#
# orvane_wine_env ROOT puts small `wine`, `wine-stable` and `wineserver`
# commands first on PATH (in ROOT/build/wine-shim; Wine's own tool scripts,
# wineboot, regsvr32, msiexec, start their programs through `wine-stable`
# from PATH). They do two things:
#
# - Each prefix's server and programs run on one processor of their own
#   (scripts/wine-on-cpu.sh): under Wine every system call is a round trip
#   to the server, and on a virtual machine a round trip between two
#   processors costs several times one on the same processor.
# - Debian's `wine` starts every program through its 32-bit loader, which a
#   kernel built without IA-32 emulation cannot execute ("Exec format
#   error"). On such a machine 64-bit programs still run through the 64-bit
#   loader, and 32-bit ones cannot run at all: the commands then start the
#   64-bit loader, and ORVANE_WIN32_RUNS is 0; where the 32-bit loader runs,
#   it is 1.
#
# - Every program under Wine starts elevated. A built program (one with
#   OrvaneAsUser.exe beside it, as in build/<preset>/bin) is started through
#   OrvaneAsUser.exe, which gives it the linked limited token: the tests, the
#   demo and the benchmarks play an ordinary user's Explorer.
#   ORVANE_WINE_ELEVATED=1 starts it elevated, for the tests of what an
#   elevated host does.
# shellcheck disable=SC2016
orvane_as_user='case "${ORVANE_WINE_ELEVATED:-0}:$1" in
0:*.exe) if [ -f "${1%/*}/OrvaneAsUser.exe" ] && [ "${1##*/}" != OrvaneAsUser.exe ]; then
        set -- "${1%/*}/OrvaneAsUser.exe" "$@"; fi ;;
esac'
orvane_wine_env() {
    local shim=$1/build/wine-shim
    local launcher=$1/scripts/wine-on-cpu.sh
    local loader=/usr/bin/wine-stable loader_env=
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export ORVANE_WIN32_RUNS=1
    else
        export ORVANE_WIN32_RUNS=0
        loader=/usr/lib/wine/wine64
        loader_env='export WINELOADER=/usr/lib/wine/wine64'
    fi
    local arm64
    if arm64=$(bash "$1/scripts/wine-arm64.sh" --check); then
        export ORVANE_ARM64_RUNS=1
    else
        export ORVANE_ARM64_RUNS=0 ORVANE_ARM64_WHY_NOT=$arm64
    fi
    mkdir -p "$shim"
    local name real
    for name in wine wine-stable wineserver; do
        real=$loader
        [ "$name" = wineserver ] && real=/usr/bin/wineserver
        local as_user=
        [ "$name" = wineserver ] || as_user=$orvane_as_user
        printf '#!/bin/sh\n%s\n[ "${ORVANE_WINE_MACHINE:-}" = arm64 ] && exec "%s" "%s/%s" "$@"\n%s\nexec "%s" "%s" "$@"\n' \
            "$as_user" "$launcher" "$arm64" "$name" "$loader_env" "$launcher" "$real" >"$shim/$name.$$"
        chmod +x "$shim/$name.$$"
        mv -f "$shim/$name.$$" "$shim/$name"
    done
    case ":$PATH:" in
    *":$shim:"*) ;;
    *) export PATH="$shim:$PATH" ;;
    esac
}
