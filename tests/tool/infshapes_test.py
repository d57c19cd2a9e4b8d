#!/usr/bin/env python3
"""The driver's files, on packages shaped like display-driver discs of the
time (infshapes/README.md says what each shows): each complete package is clean under
`pkgtool check` and `pkgtool cd` writes its image; without any one of the
files its INFs copy (each in turn), `check` exits 1 with an error on the INF
line that copies it, naming the path the target looks for, and `cd` writes
no image.

Every file of these packages other than SETUP.INI and the INFs is one that
an install copies; the packages are made so, which keeps the list of files
to take away out of the tool's hands.

Leaves out: which files Windows itself queues (the Wine tier's
infqueue_test.py compares that with Wine's setupapi).

usage: infshapes_test.py PKGTOOL INFSHAPES_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

FAILURES = []
STAND_INS = ("setup.exe", "fitter16.exe")  # what the disc gets from this project's build
# Files taken away together: each is copied by several lines, install
# sections or languages, and is one finding.
THREE_GONE = {"lingo": [os.path.join("WIN9X", "LINGO.DRV"), os.path.join("WIN9X", "LINGO.VXD"),
                        os.path.join("NT40", "LINGO.SYS")]}
# Warnings a complete package draws by design: lingo's third card is listed
# only with its subsystems.
EXPECTED_WARNINGS = {"lingo": ["card-subsys-only"]}


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL %s" % what, flush=True)
    return condition


def run(cmd):
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    return out.returncode, out.stdout.decode("utf-8", "replace")


def stage(package, dest, without=None):
    shutil.copytree(package, dest)
    for name in STAND_INS:
        with open(os.path.join(dest, name), "wb") as f:
            # An MZ header pointing to an NE header: what cd takes for a Windows program.
            f.write(b"MZ" + bytes(0x3A) + b"\x40\0\0\0NE" + bytes(16))
    if without:
        os.remove(os.path.join(dest, without))


def copied_files(package):
    """(path relative to the package, path relative to its INF's folder, the INF) of each copied file."""
    found = []
    for top, _dirs, files in sorted(os.walk(package)):
        for name in sorted(files):
            rel = os.path.relpath(os.path.join(top, name), package)
            if name.upper() == "SETUP.INI" or name.upper().endswith(".INF"):
                continue
            # The INF that copies it lies in the package's first-level folder.
            folder = rel.split(os.sep)[0]
            infs = [n for n in os.listdir(os.path.join(package, folder)) if n.upper().endswith(".INF")]
            found.append((rel, os.path.relpath(rel, folder), os.path.join(folder, infs[0])))
    return found


def strings(inf_lines):
    values, inside = {}, False
    for line in inf_lines:
        text = line.split(";")[0].strip()
        if text.startswith("["):
            inside = text.lower() == "[strings]"
        elif inside and "=" in text:
            key, value = text.split("=", 1)
            values[key.strip().lower()] = value.strip().strip('"').lower()
    return values


def either_name(path):
    """A pattern for a path; a compressed file (name.ex_) may be named by its
    uncompressed name (name.ext) too."""
    path = path.lower()
    return re.escape(path[:-1]) + "." if path.endswith("_") else re.escape(path)


def names_file(lines, number, name, values):
    """The INF line names the file (`name`, a pattern), itself or through a
    [Strings] token; a line continued by a final backslash counts whole,
    cited by its first."""
    text = ""
    for line in lines[number - 1:]:
        text += line.lower()
        if not line.split(";")[0].rstrip().endswith("\\"):
            break
    return re.search(name, text) or any(re.fullmatch(name, values.get(token, ""))
                                        for token in re.findall(r"%([^%]+)%", text))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    pkgtool, shapes = (os.path.abspath(a) for a in sys.argv[1:])
    _rc, usage = run([pkgtool, "--help"])
    has_cd = re.search(r"^\s*pkgtool cd\b", usage, re.M) is not None
    tmp = tempfile.mkdtemp(prefix="infshapes-")
    cases = 0
    try:
        for package in sorted(os.listdir(shapes)):
            source = os.path.join(shapes, package)
            if not os.path.isfile(os.path.join(source, "SETUP.INI")):
                continue
            whole = os.path.join(tmp, package)
            stage(source, whole)
            rc, out = run([pkgtool, "check", whole])
            wanted = EXPECTED_WARNINGS.get(package, [])
            warned = re.findall(r": warning: .*\[([a-z0-9-]+)\]$", out, re.M)
            check(rc == 0 and re.search(r"^0 errors, %d warnings?\b" % len(wanted), out, re.M) and warned == wanted,
                  "%s: the complete package is clean but for %s (exit %d):\n%s" % (package, wanted, rc, out))
            if has_cd:
                image = os.path.join(tmp, package + ".iso")
                rc, out = run([pkgtool, "cd", whole, "-o", image, "--autorun"])
                check(rc == 0 and os.path.isfile(image),
                      "%s: cd writes the complete package's image (exit %d):\n%s" % (package, rc, out))

            for rel, looked_for, inf in copied_files(source):
                cases += 1
                what = "%s without %s" % (package, rel)
                folder = os.path.join(tmp, "%s-%d" % (package, cases))
                stage(source, folder, without=rel)
                rc, out = run([pkgtool, "check", folder])
                check(rc == 1, "%s: check exits 1, not %d:\n%s" % (what, rc, out))
                with open(os.path.join(source, inf), encoding="latin-1") as f:
                    inf_lines = f.read().splitlines()
                values = strings(inf_lines)
                name = either_name(os.path.basename(rel))
                path = looked_for.replace(os.sep, "\\").lower()
                wanted = either_name(path)
                hits = []
                for m in re.finditer(r"^(\S+?):(\d+): error: (.*)$", out, re.M):
                    where, line, message = m.group(1), int(m.group(2)), m.group(3).lower()
                    if (where.lower().endswith(inf.lower()) and 0 < line <= len(inf_lines)
                            and names_file(inf_lines, line, name, values)
                            and re.search(wanted, message.replace("/", "\\"))):
                        hits.append(m.group(0))
                check(hits, "%s: an error on the %s line that copies the file, naming %s:\n%s"
                      % (what, inf, path, out))
                if has_cd:
                    image = folder + ".iso"
                    rc, out = run([pkgtool, "cd", folder, "-o", image, "--autorun"])
                    check(rc == 1 and not os.path.exists(image),
                          "%s: cd writes no image (exit %d):\n%s" % (what, rc, out))
        # Each mistake once: files copied by many lines, install sections
        # and languages are one finding each.
        for package, gone in sorted(THREE_GONE.items()):
            folder = os.path.join(tmp, package + "-three")
            stage(os.path.join(shapes, package), folder)
            for rel in gone:
                os.remove(os.path.join(folder, rel))
            rc, out = run([pkgtool, "check", folder])
            found = re.findall(r"^\S+?:\d+: error: (.*) \[driver-file-missing\]$", out, re.M)
            what = "%s without %s" % (package, ", ".join(gone))
            check(rc == 1 and len(found) == len(gone),
                  "%s: exactly %d driver-file-missing findings (exit %d):\n%s" % (what, len(gone), rc, out))
            for rel in gone:
                name = os.path.basename(rel).lower()
                check(sum(1 for m in found if name in m.lower()) == 1,
                      "%s: one finding names %s:\n%s" % (what, name, out))
        # NT 4.0 without its INF: the advice asks for an NT 4.0 display INF
        # and says why the Windows 95/98 INF that NT 4.0 would read does not serve.
        folder = os.path.join(tmp, "lingo-no-nt")
        stage(os.path.join(shapes, "lingo"), folder, without=os.path.join("NT40", "LINGONT.INF"))
        rc, out = run([pkgtool, "check", folder, "--json"])
        found = [f for f in json.loads(out)["findings"] if f["code"] == "driver-no-inf"]
        check(rc == 1 and len(found) == 1 and "WIN9X\\LINGO.INF" in found[0]["message"]
              and "AddService" in found[0]["message"] and found[0]["fix"].startswith("put an NT 4.0 display INF into NT40"),
              "lingo without its NT 4.0 INF: one driver-no-inf asking for an NT 4.0 display INF:\n%s" % out)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    check(cases >= 15, "the packages hold the copied files this test takes away one by one (%d)" % cases)
    print("%d files taken away in turn, %d failures" % (cases, len(FAILURES)))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
