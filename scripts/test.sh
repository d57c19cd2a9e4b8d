#!/usr/bin/env bash
# Builds every preset and runs every test tier: the host units again under
# AddressSanitizer and UBSan, each fuzz target briefly with a replay of its
# corpus, the release archives checked as their users would (their sums, the
# Debian package on a fresh Debian system), and last, through one ctest run,
# the host units, the reproducibility test and the Wine tier on the shipped
# binaries.
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
bash scripts/release.sh
bash scripts/verify-release.sh
cmake --preset host >/dev/null
cmake --build --preset host
exec ctest --preset host "$@"
