#!/usr/bin/env bash
# Makes the release archives in dist/:
#   cardsetup-VERSION.zip   for package authors: setup.exe, Sequor.exe, the
#                           example package ready for a CD (EXAMPLE\), the
#                           author's reference as REFERENCE.TXT (CR LF) and
#                           SHA256SUMS of all of them
#   pkgtool_VERSION_ARCH.deb  the package tool, with its manual page
#   SHA256SUMS              of the two archives
# The binaries are built afresh in build/release; they and the ZIP come out
# byte for byte the same from the same sources, the Debian package too when
# built in the same folder. Their time stamps are SOURCE_DATE_EPOCH's, else
# the commit's.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/release
rm -rf "$work" dist
mkdir -p "$work" dist

cmake --preset win32 -B "$work/win32" >/dev/null
cmake --build "$work/win32" -j2 --target setup Sequor
cmake --preset host -B "$work/host" -DCMAKE_BUILD_TYPE=Release -DWIN32_BINARY_DIR= >/dev/null
cmake --build "$work/host" -j2 --target pkgtool pkgtool_man pkgtool_changelog

version=$(sed -n 's/^#define CARDSETUP_VERSION_TEXT "\(.*\)"$/\1/p' "$work/host/generated/version.h")
[ -n "$version" ] || { echo "release.sh: no version in $work/host/generated/version.h" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

# The author's archive, staged as it unpacks.
name=cardsetup-$version
stage=$work/stage/$name
mkdir -p "$stage/EXAMPLE"
cp "$work/win32/setup/setup.exe" "$work/win32/sequor/Sequor.exe" "$stage/"
cp -R examples/package/. "$stage/EXAMPLE/"
cp "$stage/setup.exe" "$stage/Sequor.exe" "$stage/EXAMPLE/"
python3 scripts/md2txt.py docs/reference.md "$stage/REFERENCE.TXT"
(cd "$stage" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' |
  xargs -d '\n' sha256sum > SHA256SUMS)
python3 - "$work/stage" "$name" "$epoch" "$root/dist/$name.zip" <<'EOF'
# Entries in name order, with one time stamp and fixed modes: the same
# files give the same bytes. ZIP times begin in 1980. The modes are Unix
# ones (made by system 3), which unzip applies: every folder drwxr-xr-x,
# every file -rw-r--r--, a script (#!) -rwxr-xr-x; any user who unpacks it
# can read it all.
import os, sys, time, zipfile
base, top, epoch, out = sys.argv[1], sys.argv[2], max(int(sys.argv[3]), 315532800), sys.argv[4]
stamp = time.gmtime(epoch)[:6]
paths = [os.path.join(base, top) + "/"]
for folder, dirs, files in os.walk(os.path.join(base, top)):
    paths += [os.path.join(folder, d) + "/" for d in dirs] + [os.path.join(folder, f) for f in files]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for p in sorted(paths):
        folder = p.endswith("/")
        data = b"" if folder else open(p, "rb").read()
        info = zipfile.ZipInfo(os.path.relpath(p, base).replace(os.sep, "/") + ("/" if folder else ""), stamp)
        info.create_system = 3
        mode = 0o40755 if folder else 0o100755 if data.startswith(b"#!") else 0o100644
        info.external_attr = mode << 16 | (0x10 if folder else 0)  # 0x10: the MS-DOS folder attribute
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data)
EOF

# The package tool's Debian package.
(cd "$work/host" && SOURCE_DATE_EPOCH=$epoch cpack -G DEB -B "$work/deb" >/dev/null)
cp "$work"/deb/pkgtool_*.deb dist/

(cd dist && sha256sum "$name.zip" pkgtool_*.deb > SHA256SUMS)
echo "dist/:"
(cd dist && ls -l --time-style=+ | tail -n +2 | awk '{print "  " $5 " bytes  " $6}')
