# Sourced by the scripts that run Windows programs under Wine.
#
# Debian's `wine` starts every program through its 32-bit loader, which a
# kernel built without IA-32 emulation cannot execute ("Exec format error").
# On such a machine 64-bit programs still run through the 64-bit loader, and
# 32-bit ones cannot run at all. This puts a `wine` of the 64-bit loader first
# on PATH (Wine's own tool scripts, wineboot, regsvr32, msiexec, start the
# programs through `wine-stable` from PATH) and sets ORVANE_WIN32_RUNS to 0;
# where the 32-bit loader runs, nothing changes and it is 1.
orvane_wine_env() {
    local shim=$1/build/wine-shim
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export ORVANE_WIN32_RUNS=1
        return
    fi
    export ORVANE_WIN32_RUNS=0
    mkdir -p "$shim"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
        chmod +x "$shim/$name"
    done
    case ":$PATH:" in
    *":$shim:"*) ;;
    *) export PATH="$shim:$PATH" ;;
    esac
}
