#!/usr/bin/env bash
# Installs everything the builds and every test tier need on a fresh Debian
# machine. Safe to run again: packages already present are left alone.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(cmake g++ make python3 libgtest-dev libgmock-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 nasm
          wine wine32:i386 libwine:i386 xvfb xauth clang libclang-rt-14-dev gcc libc6-dev
          locales pkg-config libpci-dev pci.ids)
# The realbus tier: a qemu guest with an initramfs of busybox.
packages+=(qemu-system-x86 busybox-static)
# pkgtool cd writes the disc image with libisofs and sums it with nettle;
# the tests read it back with readers that are not ours.
packages+=(libisofs-dev nettle-dev xorriso genisoimage)
# The release: the Debian package's dependencies (dpkg-shlibdeps), and a
# fresh Debian system to install it on.
packages+=(dpkg-dev mmdebstrap)
# The tests validate pkgtool's JSON against docs/pkgtool.schema.json, and
# the Debian package against Debian's policy checker.
packages+=(python3-jsonschema lintian)
# pkgtool report's page is opened in a real browser; the Wine tier keeps
# screenshots of the real boxes.
packages+=(chromium imagemagick)

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
# The realbus guest's kernel: Debian's own, unpacked below /opt, never
# installed. Only the image, the modules that bring up 9p over virtio and,
# in cd/, those of the i440FX's IDE CD-ROM drive with its ISO 9660 file
# system; the kernel has no modules.dep, so the tier loads them in a fixed
# order.
REALBUS_KERNEL=/opt/realbus-kernel
kmods="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet 9pnet_virtio netfs fscache 9p"
cdmods="scsi_common scsi_mod libata ata_piix cdrom sr_mod isofs"
kmissing=""
for m in $kmods; do [ -s "$REALBUS_KERNEL/$m.ko" ] || kmissing=1; done
for m in $cdmods; do [ -s "$REALBUS_KERNEL/cd/$m.ko" ] || kmissing=1; done
if [ ! -s "$REALBUS_KERNEL/vmlinuz" ] || [ -n "$kmissing" ]; then
  kpkg=$(apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-6\.1\./ {print $2; exit}')
  [ -n "$kpkg" ] || { apt-get update -qq; kpkg=$(apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-6\.1\./ {print $2; exit}'); }
  echo "unpacking $kpkg for the realbus guest"
  kt=$(mktemp -d)
  (cd "$kt" && apt-get -o APT::Sandbox::User=root download -qq "$kpkg")
  dpkg-deb --fsys-tarfile "$kt"/*.deb | tar -x -C "$kt" --wildcards ./boot/vmlinuz-\* \
    $(for m in $kmods $cdmods; do echo "./lib/modules/*/$m.ko"; done)
  rm -rf "$REALBUS_KERNEL.new" && mkdir -p "$REALBUS_KERNEL.new/cd"
  cp "$kt"/boot/vmlinuz-* "$REALBUS_KERNEL.new/vmlinuz"
  for m in $kmods; do find "$kt/lib/modules" -name "$m.ko" -exec cp {} "$REALBUS_KERNEL.new/" \; ; done
  for m in $cdmods; do find "$kt/lib/modules" -name "$m.ko" -exec cp {} "$REALBUS_KERNEL.new/cd/" \; ; done
  echo "${kpkg#linux-image-}" > "$REALBUS_KERNEL.new/VERSION"
  rm -rf "$kt" "$REALBUS_KERNEL" && mv "$REALBUS_KERNEL.new" "$REALBUS_KERNEL"
fi
echo "dependencies ready"
