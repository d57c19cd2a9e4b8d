#!/usr/bin/env bash
# Checks the release in dist/ as its users would: the archives against
# dist/SHA256SUMS, the ZIP's modes, the ZIP unpacked by unzip as an
# unprivileged user (nobody, when run as root) against its own SHA256SUMS
# there, its reference's CR LF line ends, the Debian package by lintian
# (where it is installed), then the Debian package on a fresh Debian 12
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

echo "== the ZIP's modes, and its own SHA256SUMS as an unprivileged user unpacks it"
zip=$(ls dist/cardsetup-*.zip)
python3 - "$zip" <<'EOF'
# Each entry as unzip makes it: folders drwxr-xr-x, files -rw-r--r--, and
# -rwxr-xr-x for a script.
import stat, sys, zipfile
wrong = []
entries = zipfile.ZipFile(sys.argv[1]).infolist()
for e in entries:
    mode = e.external_attr >> 16
    want = "drwxr-xr-x" if e.is_dir() else ("-rwxr-xr-x", "-rw-r--r--")
    if e.create_system != 3 or stat.filemode(mode) not in want:
        wrong.append("%s %s (made by system %d)" % (stat.filemode(mode), e.filename, e.create_system))
if wrong:
    sys.exit("the ZIP's modes:\n  " + "\n  ".join(wrong))
print("%d entries: every folder drwxr-xr-x, every file -rw-r--r-- or a script -rwxr-xr-x" % len(entries))
EOF
# Root reads whatever the modes say, so root unpacks as nobody.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "verify-release.sh: setpriv (util-linux) is needed to unpack as nobody" >&2; exit 1; }
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
command -v unzip >/dev/null || { echo "verify-release.sh: unzip is needed to unpack the ZIP as users do" >&2; exit 1; }
chmod 755 "$tmp"
mkdir "$tmp/user"
cp "$zip" "$tmp/user/release.zip"
chmod 644 "$tmp/user/release.zip"
[ ${#as_user[@]} -eq 0 ] || chown nobody:nogroup "$tmp/user"
"${as_user[@]}" unzip -q "$tmp/user/release.zip" -d "$tmp/user/zip"
top=$(ls "$tmp/user/zip")
echo "unpacked by $("${as_user[@]}" id -un) with unzip:"
"${as_user[@]}" sh -c 'cd "$1" && sha256sum -c SHA256SUMS' sh "$tmp/user/zip/$top"
ref=$tmp/user/zip/$top/REFERENCE.TXT
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
