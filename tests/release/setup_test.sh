#!/usr/bin/env bash
# scripts/setup.sh against a broken package index, with stand-ins for
# apt-get, dpkg-query, dpkg and sudo on PATH that record their calls: an
# update that exits 100 must be tried twice and then left behind; 32-bit
# Wine that cannot be resolved must leave a working set-up that says so; a
# 64-bit package that cannot be installed must stop it with one line. Nothing
# is installed: the copy of the script runs beside a stand-in of the sysroot
# build.
#   setup_test.sh SETUP_SH
set -uo pipefail
setup_sh=$1
prefix=$(mktemp -d)
mkdir -p "$prefix/drive_c"
export WINEPREFIX=$prefix
source "$(dirname "$0")/../tools/common.sh"
cleanup_actions+=("rm -rf '$prefix'")

bin=$scratch/bin
mkdir -p "$bin" "$scratch/scripts"
cp "$setup_sh" "$scratch/scripts/setup.sh"
printf '#!/bin/sh\necho "toolchain-arm64.sh" >>"$STANDIN_LOG"\n' >"$scratch/scripts/toolchain-arm64.sh"
printf '#!/bin/sh\necho "wine-arm64.sh" >>"$STANDIN_LOG"\n' >"$scratch/scripts/wine-arm64.sh"
# Each stand-in logs its arguments. STANDIN_UPDATE_RC: apt-get update's exit
# code; STANDIN_BROKEN: a package that apt-get cannot install;
# STANDIN_INSTALLED: "all" or nothing; STANDIN_FOREIGN: dpkg's other
# architectures.
cat >"$bin/apt-get" <<'SH'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN_LOG"
case " $* " in
*" update "*) exit "$STANDIN_UPDATE_RC" ;;
*" $STANDIN_BROKEN "*) echo "E: Unable to locate package $STANDIN_BROKEN" >&2; exit 100 ;;
esac
SH
cat >"$bin/dpkg-query" <<'SH'
#!/bin/sh
echo "dpkg-query $*" >>"$STANDIN_LOG"
case "$*:$STANDIN_INSTALLED" in
*osslsigncode*) printf 2.9-1 ;;
*:all) printf 'install ok installed' ;;
*) exit 1 ;;
esac
SH
cat >"$bin/dpkg" <<'SH'
#!/bin/sh
echo "dpkg $*" >>"$STANDIN_LOG"
case $1 in
--print-foreign-architectures) [ -z "$STANDIN_FOREIGN" ] || echo "$STANDIN_FOREIGN" ;;
--compare-versions) exec /usr/bin/dpkg "$@" ;;
esac
SH
printf '#!/bin/sh\necho "sudo $*" >>"$STANDIN_LOG"\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/* "$scratch/scripts/toolchain-arm64.sh" "$scratch/scripts/wine-arm64.sh"

# The case's name; update exit code; broken package; installed; foreign
# architectures; wanted exit code; wanted number of updates; a line setup
# must print; a call that must be made ("+") or must not ("!").
cases=(
    "index broken, 32-bit Wine unresolvable|100|wine32:i386||i386|0|2|32-bit Wine packages .wine32:i386. cannot be installed here|+apt-get download .*libwine:i386"
    "index broken, i386 not yet added|100||||0|2|all packages present|+dpkg --add-architecture i386"
    "index broken, a 64-bit package fails|100|mingw-w64||i386|1|2|^setup: cannot install what the build and the 64-bit tests need: mingw-w64 |!apt-get install .*wine32"
    "everything installed|0||all|i386|0|0|all packages present|!apt-get install"
)
for entry in "${cases[@]}"; do
    IFS='|' read -r name update_rc broken installed foreign status updates line call <<<"$entry"
    export STANDIN_LOG=$scratch/calls STANDIN_UPDATE_RC=$update_rc STANDIN_BROKEN=$broken
    export STANDIN_INSTALLED=$installed STANDIN_FOREIGN=$foreign
    rm -f "$STANDIN_LOG"
    last_status=0
    PATH=$bin:$PATH ORVANE_SETUP_RETRY_DELAY=0 ORVANE_TOOLCHAIN_CACHE=$scratch/cache bash "$scratch/scripts/setup.sh" >"$last_output" 2>&1 || last_status=$?
    expect_status "$status" "$name"
    expect_output "$line" "$name: says so"
    count=$(grep -c '^apt-get update' "$STANDIN_LOG")
    if [ "$count" = "$updates" ]; then pass "$name: $updates updates"; else fail "$name: $count updates, wanted $updates"; fi
    made=no
    if grep -qE -- "${call#?}" "$STANDIN_LOG"; then made=yes; fi
    case ${call:0:1}$made in
    +yes | !no) pass "$name: ${call#?}: $made" ;;
    *) fail "$name: ${call#?}: $made" ;;
    esac
    if [ "$status" = 1 ]; then
        lines=$(grep '^setup:' "$last_output" | grep -vc 'apt-get update failed')
        if [ "$lines" = 1 ]; then pass "$name: one line"; else fail "$name: $lines lines besides the update's"; fi
    fi
    if [ "$(id -u)" = 0 ] && grep -q '^sudo' "$STANDIN_LOG"; then fail "$name: sudo is used by root"; fi
done
finish
