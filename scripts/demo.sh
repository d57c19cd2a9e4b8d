#!/usr/bin/env bash
# Sets everything up on a fresh machine, builds the shipped binaries and runs
# them on the example package under Wine, printing what the user would see.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
exec python3 scripts/demo.py build/win32
