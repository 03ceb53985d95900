#!/usr/bin/env bash
# Runs one Windows test program under Wine for CTest.
# Wine starts its service processes (services, rpcss, plugplay, ...) on
# demand, and they inherit the standard handles of the program that needed
# them; if those were CTest's pipes, CTest would wait for the services to
# exit, that is forever. So the program writes to a file, which is shown once
# the program itself has ended.
set -u
output=$(mktemp)
wine "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
rm -f "$output"
exit $status
