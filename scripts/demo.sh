#!/usr/bin/env bash
# Sets everything up on a fresh machine, then shows the example package at
# work: the package tool's check and dry run (the genuine program code on a
# simulated Windows 98 PC with the package's card), and the shipped binaries
# under Wine on each Windows version.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 >/dev/null
cmake --preset host >/dev/null && cmake --build --preset host --target pkgtool >/dev/null
echo "\$ pkgtool check examples/package"
build/host/tools/pkgtool/pkgtool check examples/package
echo
echo "\$ pkgtool run examples/package"
build/host/tools/pkgtool/pkgtool run examples/package
echo
echo "Under Wine:"
exec python3 scripts/demo.py build/win32
