#!/usr/bin/env bash
# Sets everything up on a fresh machine, then shows the example package at
# work: the package tool's check and dry run (the genuine program code on a
# simulated Windows 98 PC with the package's card), its CD image written by
# the package tool and installed from in a real PC (Windows 98 in a qemu
# guest with a real PCI bus and an IDE CD-ROM drive), and the shipped
# binaries under Wine on the other Windows versions.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 >/dev/null
cmake --preset host >/dev/null && cmake --build --preset host --target pkgtool portwine >/dev/null
echo "\$ pkgtool check examples/package"
build/host/tools/pkgtool/pkgtool check examples/package
echo
echo "\$ pkgtool run examples/package"
build/host/tools/pkgtool/pkgtool run examples/package
echo
echo "The CD, in a real PC:"
rc=0
python3 tests/realbus/realbus.py --win32-dir build/win32 --portwine build/host/tests/realbus/portwine \
  --pkgtool build/host/tools/pkgtool/pkgtool --work build/host/tests/realbus/demo --demo \
  || { r=$?; [ $r -eq 77 ] || rc=$r; }
echo
echo "Under Wine (its PCI bus is empty):"
python3 scripts/demo.py build/win32 || rc=$?
exit $rc
