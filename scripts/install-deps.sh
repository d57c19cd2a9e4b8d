#!/usr/bin/env bash
# Installs everything the builds and every test tier need on a fresh Debian
# machine. Safe to run again: packages already present are left alone.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(cmake g++ make python3 libgtest-dev libgmock-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          wine wine32:i386 libwine:i386 xvfb xauth clang libclang-rt-14-dev gcc libc6-dev
          locales pkg-config libpci-dev pci.ids)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Wine's loader is a 32-bit program: where the kernel cannot start 32-bit
# programs, it runs under user-mode emulation (registered on every run, as
# the registration does not survive a reboot).
bash "$(dirname "$0")/wine-i386.sh"
# Japanese Windows's code page for the double-byte Wine cases: Wine takes its
# ANSI code page from the locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
echo "dependencies ready"
