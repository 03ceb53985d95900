#!/usr/bin/env bash
# Fuzzes the platform-free parsers (registry scripts, default-icon texts) for
# longer than the test command does: every tests/fuzz/Fuzz*.cpp target, each
# for the given number of seconds (default 600), from the committed seeds.
#
#   scripts/fuzz.sh [seconds]
#
# Builds the native preset in its own tree (build/fuzz). New corpus entries
# stay in build/fuzz/corpus; a finding is written there as crash-*, leak-* or
# timeout-*: fix it, then keep the input in tests/fuzz/corpus/<name>/ so that
# every later run replays it. ORVANE_BUILD_ROOT (default: build) says where.
source "$(dirname "$0")/common.sh"
seconds=${1:-600}
tree=$build_root/fuzz

targets=()
for source in tests/fuzz/Fuzz*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done
cmake --preset native -B "$tree" >/dev/null
cmake --build "$tree" -j2 --target "${targets[@]}" >/dev/null

status=0
for target in "${targets[@]}"; do
    name=$(echo "${target#Fuzz}" | tr '[:upper:]' '[:lower:]')
    work=$tree/corpus/$name
    echo "== $target: $seconds s from tests/fuzz/corpus/$name"
    if ! ASAN_OPTIONS=detect_leaks=1 bash tests/fuzz/run_fuzzer.sh "$tree/bin/$target" \
        "tests/fuzz/corpus/$name" "$work" "$seconds" >"$tree/$target.log" 2>&1; then
        status=1
        echo "   FINDING: see $tree/$target.log"
        ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null | sed 's/^/   /' || true
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE' "$tree/$target.log" | sed 's/^/   /' || true
done
exit $status
