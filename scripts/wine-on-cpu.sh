#!/bin/sh
# Starts a Wine command (the real `wine`, `wine-stable` or `wineserver`, then
# its arguments) on the processor of its prefix, chosen by wine-cpu.py at
# each program start, so that the prefix's server and every program in it
# share one processor: each of a program's requests to the server is then a
# switch between two processes rather than the wake-up of an idle one.
# ORVANE_WINE_ANY_CPU=1 leaves the command free to run anywhere (tests whose
# threads must really run at once). A `wineserver` command never chooses:
# it follows the prefix's last choice.
real=$1
shift
if [ -z "${ORVANE_WINE_ANY_CPU:-}" ] && command -v taskset >/dev/null 2>&1; then
    prefix=${WINEPREFIX:-$HOME/.wine}
    cpu=
    case $real in
    */wineserver*) ;;
    # This shell's process id stays the program's: exec keeps it.
    *) cpu=$(python3 "$(dirname "$0")/wine-cpu.py" --start "$prefix" $$ 2>/dev/null || true) ;;
    esac
    [ -n "$cpu" ] || cpu=$(cat "$prefix/.orvane-cpu" 2>/dev/null || true)
    if [ -n "$cpu" ]; then
        exec taskset -c "$cpu" "$real" "$@"
    fi
fi
exec "$real" "$@"
