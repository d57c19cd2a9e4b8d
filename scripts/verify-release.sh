#!/usr/bin/env bash
# Checks the release in dist/ as its users would: the archives against
# dist/SHA256SUMS, the unpacked ZIP against its own SHA256SUMS and its
# reference's CR LF line ends, the Debian package by lintian (where it is
# installed), then the Debian package on a fresh Debian 12
# (a minimal system that mmdebstrap makes from Debian's archive):
# `apt-get install ./pkgtool_*.deb` there brings in what the package
# depends on, and `pkgtool check` runs the example package from the PATH.
# --no-clean-machine leaves out that last step.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
clean_machine=1
[ "${1:-}" = "--no-clean-machine" ] && clean_machine=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== dist/SHA256SUMS"
(cd dist && sha256sum -c SHA256SUMS)

echo "== the ZIP's own SHA256SUMS"
zip=$(ls dist/cardsetup-*.zip)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$tmp/zip"
top=$(ls "$tmp/zip")
(cd "$tmp/zip/$top" && sha256sum -c SHA256SUMS)
ref=$tmp/zip/$top/REFERENCE.TXT
if [ "$(grep -c $'\r$' "$ref")" -ne "$(wc -l < "$ref")" ]; then
  echo "REFERENCE.TXT: not every line ends in CR LF" >&2
  exit 1
fi
echo "REFERENCE.TXT: $(wc -l < "$ref") lines, each ending in CR LF"

if command -v lintian >/dev/null; then
  echo "== lintian on the Debian package"
  lintian --fail-on error,warning dist/pkgtool_*.deb 2> >(grep -v 'running with root privileges' >&2)
  echo "no error, no warning"
fi

[ "$clean_machine" -eq 1 ] || exit 0
echo "== pkgtool on a fresh Debian 12"
deb=$(cd dist && ls pkgtool_*.deb)
mmdebstrap --variant=apt --quiet --aptopt='Acquire::Check-Valid-Until "false"' \
  --customize-hook='mkdir -p "$1/tmp/examples"' \
  --customize-hook="copy-in '$root/dist/$deb' /tmp" \
  --customize-hook="copy-in '$root/examples/package' /tmp/examples" \
  --customize-hook='chroot "$1" sh -c "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./'"$deb"' >/dev/null"' \
  --customize-hook='chroot "$1" sh -c "echo \"\$ pkgtool check examples/package    # \$(command -v pkgtool)\"; cd /tmp && pkgtool check examples/package"' \
  bookworm /dev/null
