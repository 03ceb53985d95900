#!/usr/bin/env bash
# Configures and builds both DLLs (with their Windows tests) and the native
# sanitizer build of the platform-free code.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win64 win32 native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
