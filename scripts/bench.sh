#!/usr/bin/env bash
# Times the extension's operations through the real DLLs against their
# floors (the same system calls without the extension's code), under Wine in
# a private prefix made for the run and removed after it. Builds what it
# needs first. Not part of the test command: timings need a quiet machine.
#
#   scripts/bench.sh [--runs N] [--quick] [--selections] [--arch win64|win32|win64-clang]
#
# Each architecture runs N times (default 3); the table shows the medians and
# the spread of the ratio over the runs. --selections times only the
# operations that read a selection (Initialize at 2 to 100,000 files,
# InvokeCommand of the large selections, the Explorer command's path
# collection). Results: build/bench/bench-x64.csv
# and .json (and -x86), one file pair per run beside them. --arch win64-clang
# measures the clang build's x64 DLLs, the ones the release ships
# (bench-x64-cfg), with the win64 build's program.
# ORVANE_BUILD_ROOT (default: build) says where the build trees are.
source "$(dirname "$0")/common.sh"
out=$build_root/bench

runs=3
quick=
selections=
presets=()
usage() { echo "usage: $0 [--runs N] [--quick] [--selections] [--arch win64|win32|win64-clang]" >&2; exit 2; }
read_options runs= quick selections arch=presets -- "$@"
modes=()
[ -z "$quick" ] || modes+=(--quick)
[ -z "$selections" ] || modes+=(--selections)
[ ${#presets[@]} -gt 0 ] || presets=(win64 win32)

source scripts/bench-common.sh

build_bench_tools

mkdir -p "$out"
start_private_prefix bench

status=0
for preset in "${presets[@]}"; do
    arch=$(arch_of "$preset")
    folder=$(bench_folder "$preset")
    rm -f "$out/bench-$arch"-run*.json "$out/bench-$arch"-run*.csv
    for run in $(seq 1 "$runs"); do
        echo "== $arch, run $run of $runs"
        # Through a file: programs that Wine starts on demand inherit the
        # output handles and may outlive the benchmark.
        log=$out/bench-$arch-run$run.txt
        wine "$folder/OrvaneBench.exe" bench "${modes[@]}" --dll "$(win_path "$folder/$(dll_of "$preset").dll")" \
            --out "$(win_path "$out/bench-$arch-run$run")" >"$log" 2>&1 </dev/null || status=1
        grep -v '^  ' "$log"
    done
done
python3 tools/bench/report.py summarize "$out" || status=1
exit $status
