#!/usr/bin/env bash
# Builds everything and runs every test through one CTest run: the native
# build of the platform-free code (AddressSanitizer, UBSan, bounded fuzzing)
# and both DLLs' tests under Wine, each architecture in a private prefix that
# is made for the run and removed after it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Installs whatever a fresh machine lacks; seconds when everything is there.
bash scripts/setup.sh
bash scripts/build.sh

mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<CTEST
# All test trees of this checkout in one run.
subdirs("$root/build/native" "$root/build/win64" "$root/build/win32")
CTEST

unset DISPLAY
exec ctest --test-dir build/all --parallel 2 --output-on-failure "$@"
