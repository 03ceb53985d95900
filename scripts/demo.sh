#!/usr/bin/env bash
# The main job for a newcomer: sets up a fresh Debian machine and builds both
# shell-extension DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
echo
echo "Built:"
for dll in build/win64/bin/OrvaneShlExt64F.dll build/win32/bin/OrvaneShlExt32F.dll; do
    echo "  $PWD/$dll"
done
