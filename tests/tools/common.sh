# Shared by the tools' Wine tests: running Windows programs, checking
# results, and a scratch folder inside the prefix that is removed at exit.
# Expects WINEPREFIX in the environment.
export WINEDEBUG=-all
unset DISPLAY

failures=0
scratch=$(mktemp -d "$WINEPREFIX/drive_c/tooltest.XXXXXX")
scratch_win="C:\\$(basename "$scratch")"
last_output=$scratch/.last-output
cleanup_actions=()
at_exit() {
    local action
    for action in "${cleanup_actions[@]}"; do eval "$action" || true; done
    rm -rf "$scratch"
}
trap at_exit EXIT

# Runs a Windows program; its output (CR stripped) lands in $last_output and
# its exit code in $last_status. The output goes through a file because
# Wine's service processes inherit the handles and may outlive the program.
run() {
    last_status=0
    wine "$@" >"$last_output.raw" 2>&1 </dev/null || last_status=$?
    tr -d '\r' <"$last_output.raw" >"$last_output"
}

fail() {
    echo "FAIL: $*"
    if [ -s "$last_output" ]; then sed 's/^/    | /' "$last_output"; fi
    failures=$((failures + 1))
}
pass() { echo "ok:   $*"; }
skip() { echo "skip: $*"; }

# Whether 32-bit Windows programs can run here (scripts/wine-env.sh): a
# kernel without IA-32 emulation runs only 64-bit ones.
win32_runs() { [ "${ORVANE_WIN32_RUNS:-1}" = 1 ]; }

expect_status() {
    local wanted=$1 what=$2
    if [ "$last_status" = "$wanted" ]; then pass "$what (exit $wanted)"; else fail "$what: exit $last_status, wanted $wanted"; fi
}
expect_output() {
    local pattern=$1 what=$2
    if grep -qE -- "$pattern" "$last_output"; then pass "$what"; else fail "$what: no line matches /$pattern/"; fi
}
expect_file() {
    if [ -e "$1" ]; then pass "$2"; else fail "$2: $1 is missing"; fi
}
expect_no_file() {
    if [ ! -e "$1" ]; then pass "$2"; else fail "$2: $1 is still there"; fi
}

# A selection file as the extension writes it: UTF-16LE with a byte-order
# mark, every path followed by a carriage return.
write_selection() {
    local file=$1
    shift
    { printf '\xff\xfe'; printf '%s\r' "$@" | iconv -f UTF-8 -t UTF-16LE; } >"$file"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all checks passed"
}
