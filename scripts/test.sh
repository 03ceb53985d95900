#!/usr/bin/env bash
# Builds everything and runs every test through one CTest run: the native
# build of the platform-free code (AddressSanitizer, UBSan, bounded fuzzing)
# and both DLLs' tests under Wine, each architecture in a private prefix that
# is made for the run and removed after it; the x64 DLLs built with clang and
# libc++ through the unit tests and the fault sweep; the ARM64 DLLs through
# their unit and hand-off tests and the runtime sweep under Debian's arm64
# Wine on qemu, and their files checked statically against the x64 ones.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Installs whatever a fresh machine lacks; seconds when everything is there.
bash scripts/setup.sh

source scripts/wine-env.sh
orvane_wine_env "$root"
trees=("$root/build/native" "$root/build/win64" "$root/build/win64-clang")
if [ "$ORVANE_ARM64_RUNS" = 1 ]; then
    trees+=("$root/build/win-arm64")
else
    echo "test: ARM64 programs cannot run here ($ORVANE_ARM64_WHY_NOT):"
    echo "test: the ARM64 DLLs and their tests are built but not run"
fi
if [ "$ORVANE_WIN32_RUNS" = 1 ]; then
    trees+=("$root/build/win32")
else
    echo "test: 32-bit Windows programs cannot run here (a kernel without IA-32 emulation, or no 32-bit"
    echo "test: Wine installed): the 32-bit DLL and its tests are built but not run, and the 64-bit tests"
    echo "test: skip their 32-bit steps"
fi
bash scripts/build.sh

mkdir -p build/all
{
    echo "# All test trees of this checkout in one run."
    printf 'subdirs('; printf '"%s" ' "${trees[@]}"; echo ')'
} > build/all/CTestTestfile.cmake

unset DISPLAY
# Two tests more than there are processors: several tests spend most of their
# time waiting (a hand-off comes ten seconds after its right-click; the shell
# host's starts through Wine's Explorer take minutes).
exec ctest --test-dir build/all --parallel "$(( $(nproc) + 2 ))" --output-on-failure "$@"
