#!/usr/bin/env bash
# Configures and builds both DLLs (with their Windows tests), the native
# sanitizer build of the platform-free code, the ARM64 DLLs, and the x64 DLLs
# with clang and libc++ (the ARM64 build's runtime) with the tests that run
# them under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win64 win32 native win-arm64 win64-clang; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
