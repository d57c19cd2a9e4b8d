#!/usr/bin/env python3
"""The shipped binaries are reproducible: the same sources give the same bytes.

Copies the source tree twice, to folders of different names and depths,
each made a git checkout whose one commit has the source's commit time,
configures the win32 preset in each with its build folder somewhere else
again, and builds setup.exe and Sequor.exe there one after the other (so at
different times, and in different time zones), without SOURCE_DATE_EPOCH.
The bytes must be the same; each binary must carry the commit time as its
PE time stamp, with a valid PE checksum.
Leaves out: other machines' compilers; a Debian 12 mingw-w64 is assumed.

usage: repro_test.py <source folder>
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
BINARIES = ("setup/setup.exe", "sequor/Sequor.exe")
FALLBACK_EPOCH = 946684800  # 2000-01-01, where the sources are no git checkout


def source_files(src):
    """Files git tracks or would track, when src is a git checkout; else all but build folders."""
    try:
        out = subprocess.run(["git", "-C", src, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                             check=True, capture_output=True).stdout
        return [f for f in os.fsdecode(out).split("\0") if f and os.path.isfile(os.path.join(src, f))]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for root, dirs, names in os.walk(src):
            dirs[:] = [d for d in dirs if not (root == src and (d.startswith("build") or d in (".git", "dist")))]
            files += [os.path.relpath(os.path.join(root, n), src) for n in names]
        return files


def commit_epoch(src):
    try:
        out = subprocess.run(["git", "-C", src, "log", "-1", "--format=%ct"], check=True, capture_output=True)
        return int(out.stdout.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        return FALLBACK_EPOCH


def pe_fields(data):
    """(time stamp, stored checksum, computed checksum) of a PE image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    stamp = struct.unpack_from("<I", data, pe + 8)[0]
    at = pe + 24 + 64  # CheckSum in the optional header
    stored = struct.unpack_from("<I", data, at)[0]
    padded = data + b"\0" * (len(data) % 2)
    total = 0
    for i in range(0, len(padded), 2):
        if i in (at, at + 2):
            continue
        total += padded[i] | padded[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return stamp, stored, (total + len(data)) & 0xFFFFFFFF


def build(src, tree, out, epoch, tz):
    for f in source_files(src):
        dest = os.path.join(tree, f)
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        shutil.copy2(os.path.join(src, f), dest)
    env = dict(os.environ, TZ=tz, GIT_AUTHOR_DATE="@%d" % epoch, GIT_COMMITTER_DATE="@%d" % epoch)
    env.pop("SOURCE_DATE_EPOCH", None)
    who = ["-c", "user.name=repro", "-c", "user.email=repro@localhost", "-c", "commit.gpgsign=false"]
    for args in (["git", "init", "-q"], ["git", "add", "-A"], ["git"] + who + ["commit", "-q", "-m", "sources"],
                 ["cmake", "--preset", "win32", "-S", tree, "-B", out],
                 ["cmake", "--build", out, "-j2", "--target", "setup", "Sequor"]):
        p = subprocess.run(args, env=env, cwd=tree, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if p.returncode != 0:
            raise RuntimeError("%s failed:\n%s" % (" ".join(args), p.stdout.decode(errors="replace")[-3000:]))
    return {b: open(os.path.join(out, b), "rb").read() for b in BINARIES}


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    if not shutil.which("i686-w64-mingw32-g++"):
        print("SKIP: no mingw-w64 cross compiler")
        return SKIP
    src = os.path.abspath(sys.argv[1])
    epoch = commit_epoch(src)
    failures = []
    with tempfile.TemporaryDirectory(prefix="repro-") as tmp:
        a = build(src, os.path.join(tmp, "a"), os.path.join(tmp, "out1"), epoch, "UTC")
        b = build(src, os.path.join(tmp, "second tree", "deeper", "src"), os.path.join(tmp, "b", "build"), epoch,
                  "Asia/Tokyo")
    for name in BINARIES:
        if a[name] != b[name]:
            diff = [i for i in range(min(len(a[name]), len(b[name]))) if a[name][i] != b[name][i]]
            failures.append("%s differs between the builds: sizes %d and %d, first differing offsets %s"
                            % (name, len(a[name]), len(b[name]), [hex(i) for i in diff[:8]]))
        for label, data in (("first", a[name]), ("second", b[name])):
            stamp, stored, computed = pe_fields(data)
            if stamp != epoch:
                failures.append("%s (%s build): PE time stamp %d, expected the commit's %d"
                                % (name, label, stamp, epoch))
            if stored != computed:
                failures.append("%s (%s build): PE checksum 0x%08X, the image sums to 0x%08X"
                                % (name, label, stored, computed))
    for f in failures:
        print("FAIL " + f)
    if not failures:
        print("PASS %s: the same %d and %d bytes from both trees, time stamp %d, checksums valid"
              % (" and ".join(BINARIES), len(a[BINARIES[0]]), len(a[BINARIES[1]]), epoch))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
