#!/usr/bin/env bash
# Builds every preset and runs every test tier: the host units again under
# AddressSanitizer and UBSan, each fuzz target briefly with a replay of its
# corpus, and last, through one ctest run, the host units and the Wine tier
# on the shipped binaries.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan
ctest --preset host-asan -R '^unit\.'
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz
cmake --preset host >/dev/null
cmake --build --preset host
exec ctest --preset host "$@"
