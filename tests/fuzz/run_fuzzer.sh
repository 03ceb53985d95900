#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time from the committed seeds.
#   run_fuzzer.sh FUZZER SEED_DIR WORK_DIR SECONDS
# The committed seeds (regression inputs included) are replayed first; new
# corpus entries go to WORK_DIR, never into the source tree.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work" "$seeds"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" "$seeds"
