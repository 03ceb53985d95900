#!/usr/bin/env bash
# Makes or removes the private Wine prefix of one test run.
#   wineprefix.sh setup DIR     a fresh prefix in DIR, with its server kept alive
#   wineprefix.sh cleanup DIR   stops the prefix's server and deletes DIR
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY

case $action in
setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot --init </dev/null >/dev/null 2>&1
    wineserver -w
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
    echo "usage: $0 setup|cleanup DIR" >&2
    exit 2
    ;;
esac
