#!/usr/bin/env bash
# Endurance and concurrency of the extension under Wine, for both DLLs, in a
# private prefix made for the run and removed after it. Builds what it needs.
#
#   scripts/soak.sh [--builds N] [--icons N] [--threads N] [--rounds N] [--arch win64|win32]
#                   [--only soak|concurrency]
#
# Soak: N menu builds (default 100000) and N icon requests in one process,
# sampling GDI and USER objects, handles and private memory every 10000:
# nothing may grow after the first 1000. Concurrency: 8 apartment threads,
# 3000 rounds each, of Initialize, QueryContextMenu, InvokeCommand and
# GetIconLocation, every answer checked, no growth after the warm-up.
# Logs: build/bench/soak-<arch>.txt (.csv) and concurrency-<arch>.txt.
source "$(dirname "$0")/common.sh"
out=$build_root/bench

builds=100000
icons=100000
threads=8
rounds=3000
presets=()
only=
usage() {
    echo "usage: $0 [--builds N] [--icons N] [--threads N] [--rounds N] [--arch win64|win32]" \
        "[--only soak|concurrency]" >&2
    exit 2
}
read_options builds= icons= threads= rounds= arch=presets only= -- "$@"
parts=(${only:-soak concurrency})
[ ${#presets[@]} -gt 0 ] || presets=(win64 win32)

source scripts/bench-common.sh
every=$((builds >= 100000 ? 10000 : (builds >= 10 ? builds / 10 : 1)))
baseline=$((builds >= 10000 ? 1000 : every))

build_bench_tools

mkdir -p "$out"
start_private_prefix soak

# Through files: programs that Wine starts on demand inherit the output
# handles and may outlive the run.
run_logged() {
    local log=$1
    shift
    local result=0
    wine "$@" >"$log" 2>&1 </dev/null || result=$?
    sed 's/\r$//' "$log"
    return $result
}

status=0
for preset in "${presets[@]}"; do
    arch=$(arch_of "$preset")
    bench=$build_root/$preset/bin/OrvaneBench.exe
    for part in "${parts[@]}"; do
        case $part in
        soak)
            echo "== $arch: soak, $builds menu builds and $icons icon requests"
            run_logged "$out/soak-$arch.txt" "$bench" soak --builds "$builds" --icons "$icons" --every "$every" \
                --baseline "$baseline" --out "$(win_path "$out/soak-$arch")" || status=1
            ;;
        concurrency)
            echo "== $arch: concurrency, $threads threads of $rounds rounds"
            run_logged "$out/concurrency-$arch.txt" "$bench" concurrency --threads "$threads" --rounds "$rounds" ||
                status=1
            ;;
        *) echo "unknown part: $part" >&2; exit 2 ;;
        esac
    done
done
exit $status
