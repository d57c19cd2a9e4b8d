#!/usr/bin/env bash
# Builds both presets and runs every test tier (host units, the Wine tier
# on the shipped binaries) through one ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32
cmake --preset host >/dev/null
cmake --build --preset host
exec ctest --preset host "$@"
