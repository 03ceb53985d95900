#!/usr/bin/env bash
# Runs one Windows program under Wine with Wine's heap checking on
# (warn+heap): every allocation and release is validated, and a
# corrupted or doubly freed block is reported on the error output. The test
# fails on the program's own failure and on any such report.
# Output goes through a file, as in tests/wine-run.sh: Wine's service
# processes would otherwise hold CTest's pipes open.
set -u
output=$(mktemp)
WINEDEBUG=-all,err+heap,warn+heap wine "$@" >"$output" 2>&1 </dev/null
status=$?
grep -v ':heap:' "$output" | sed 's/\r$//'
reports=$(grep -c ':heap:' "$output")
if [ "$reports" -ne 0 ]; then
    echo "Wine's heap checking reported $reports problems; the first ones:"
    grep ':heap:' "$output" | head -20
    status=1
fi
rm -f "$output"
exit $status
