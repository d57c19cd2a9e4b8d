#!/usr/bin/env python3
"""pkgtool cd against readers that are not ours: the example package's
image, written twice from two copies of its folder made at different times
(two checkouts), must be the same bytes under one SOURCE_DATE_EPOCH;
isoinfo and xorriso must read it as ISO 9660 level 1 with Joliet and no Rock
Ridge, with the label and times asked for, the AUTORUN.INF --autorun wrote,
and every name the report lists in the tree it names. A folder with an
error gets no image.

Leaves out: what the targets do with the disc (the realbus tier runs it).

usage: cd_test.py PKGTOOL EXAMPLE_PACKAGE
Exit status 77 (skipped) without isoinfo or xorriso.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

EPOCH = 1700000000  # 2023-11-14 22:13:20 UTC
FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL %s" % what, flush=True)


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120, **kw)


def stage(dest, package, when):
    """The package with stand-ins for the programs a disc of it holds, every
    file and folder dated `when`, as a checkout made then dates them."""
    shutil.copytree(package, dest)
    for name in ("setup.exe", "Sequor.exe", "fitter16.exe"):
        with open(os.path.join(dest, name), "wb") as f:
            f.write(b"MZ" + name.encode())
    for top, dirs, files in os.walk(dest, topdown=False):
        for n in files + dirs + ([""] if top == dest else []):
            os.utime(os.path.join(top, n), (when, when))


def make_cp932(folder):
    """The example as an author in Japan has it: scripts in code page 932
    with Japanese messages, a tool folder and a README whose names have
    characters with the second byte 0x5C (ソ, 表), named in UTF-8 on this disk."""
    path = os.path.join(folder, "SETUP.INI")
    ini = open(path, encoding="ascii").read()
    ini = ini.replace("program=[CWD]\\README.TXT,x,[CWD]", "program=[CWD]\\表示.TXT,x,[CWD]")
    ini = ini.replace("No supported display card was found.", "対応する表示カードが見つかりません。\\nソフトを確認してください。")
    ini = ini.replace("This Windows version is not supported.", "このバージョンの Windows には対応していません。")
    open(path, "wb").write(ini.encode("cp932"))
    os.rename(os.path.join(folder, "README.TXT"), os.path.join(folder, "表示.TXT"))
    os.mkdir(os.path.join(folder, "ソフト"))
    with open(os.path.join(folder, "ソフト", "JREBOOT.EXE"), "wb") as f:
        f.write(b"MZ")
    with open(os.path.join(folder, "sequor95.ini"), "wb") as f:
        f.write('[ProcessList]\r\n1="[CWD]\\setup.exe",[CWD]\r\n2="[CWD]\\ソフト\\JREBOOT.EXE",[CWD]\\ソフト\r\n'
                .encode("cp932"))


def names(image, joliet):
    out = run(["isoinfo", "-f", "-i", image] + (["-J"] if joliet else [])).stdout.decode("utf-8", "replace")
    return {re.sub(r";1$", "", p.lstrip("/")) if joliet else p.lstrip("/") for p in out.split("\n") if p.strip()}


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    pkgtool, package = (os.path.abspath(a) for a in sys.argv[1:])
    missing = [t for t in ("isoinfo", "xorriso") if not shutil.which(t)]
    if missing:
        print("SKIP: %s not found (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return 77
    tmp = tempfile.mkdtemp(prefix="cd-test-")
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH), TZ="Pacific/Auckland")
    try:
        reports, images = [], []
        for copy, when in (("a", EPOCH + 3600), ("b", EPOCH + 86400)):
            folder, image = os.path.join(tmp, copy, "example"), os.path.join(tmp, copy + ".iso")
            stage(folder, package, when)
            out = run([pkgtool, "cd", folder, "-o", image, "--autorun", "--label", "EXAMPLE"], env=env)
            check(out.returncode == 0, "pkgtool cd exit status %d:\n%s" % (out.returncode, out.stdout.decode()))
            reports.append(out.stdout.decode())
            images.append(image)
        sums = [hashlib.sha256(open(i, "rb").read()).hexdigest() for i in images]
        check(sums[0] == sums[1], "two checkouts of one folder give images %s and %s" % tuple(sums))
        check(("SHA-256 " + sums[0]) in reports[0], "the report gives the image's SHA-256 %s:\n%s" % (sums[0], reports[0]))
        image, report = images[0], reports[0]

        info = run(["isoinfo", "-d", "-i", image]).stdout.decode()
        for want in ("Volume id: EXAMPLE", "Joliet with UCS level 3 found", "NO Rock Ridge present"):
            check(want in info, "isoinfo -d shows %r:\n%s" % (want, info))
        pvd = run(["xorriso", "-indev", image, "-pvd_info"]).stdout.decode()
        for want in ("Creation Time: 2023111422132000", "Modif. Time  : 2023111422132000"):
            check(want in pvd, "the image's own times from SOURCE_DATE_EPOCH, in GMT: %r\n%s" % (want, pvd))
        iso, joliet = names(image, False), names(image, True)
        for want in ("AUTORUN.INF;1", "SETUP.EXE;1", "SETUP.INI;1", "WIN95/EXAMPLE.INF;1", "FITTER16.EXE;1"):
            check(want in iso, "ISO 9660 names hold %s: %s" % (want, sorted(iso)))
        check(all(re.match(r"^[A-Z0-9_]{1,8}(\.[A-Z0-9_]{0,3};1)?(/|$)", p.split("/")[-1] + "")
                  for p in iso), "ISO 9660 level 1 names only: %s" % sorted(iso))
        xorriso = run(["xorriso", "-indev", image, "-find", "/", "-type", "f"]).stdout.decode()
        for want in ("'/setup.exe'", "'/sequor95.ini'", "'/WIN95/EXAMPLE.INF'", "'/AUTORUN.INF'"):
            check(want in xorriso, "xorriso reads the Joliet name %s:\n%s" % (want, xorriso))
        autorun = run(["isoinfo", "-J", "-i", image, "-x", "/AUTORUN.INF;1"]).stdout
        check(autorun == b"[autorun]\r\nopen=setup.exe\r\n", "AUTORUN.INF on the disc: %r" % autorun)
        table = report.split("Names on the disc")[1].split("\n")[1:]
        rows = [line.split() for line in table if line.startswith("  ")]
        check(len(rows) >= 8, "the report names the paths the scripts name: %r" % rows)
        for j, i in rows:
            check(j.replace("\\", "/") in joliet and i.replace("\\", "/") in {p.replace(";1", "") for p in iso},
                  "the report's %s (Joliet) and %s (ISO 9660) are on the disc" % (j, i))

        # A package in code page 932, its files named in UTF-8 here: check is
        # clean, and the disc holds the names Windows shows (Joliet: UCS-2 of
        # them) and ISO 9660 level 1 names that a reader without Joliet opens.
        jp, jpimage = os.path.join(tmp, "jp"), os.path.join(tmp, "jp.iso")
        stage(jp, package, EPOCH)
        make_cp932(jp)
        out = run([pkgtool, "check", jp, "--codepage", "932"])
        check(out.returncode == 0 and "0 errors, 0 warnings" in out.stdout.decode(),
              "check --codepage 932 of the Japanese package: %d\n%s" % (out.returncode, out.stdout.decode()))
        out = run([pkgtool, "cd", jp, "-o", jpimage, "--autorun", "--codepage", "932", "--label", "JP"], env=env)
        check(out.returncode == 0, "cd --codepage 932: %d\n%s" % (out.returncode, out.stdout.decode()))
        xorriso = run(["xorriso", "-indev", jpimage, "-find", "/", "-type", "f"]).stdout.decode()
        for want in ("'/ソフト/JREBOOT.EXE'", "'/表示.TXT'"):
            check(want in xorriso, "xorriso reads the Joliet name %s:\n%s" % (want, xorriso))
        jp_iso = names(jpimage, False)
        check(all(re.match(r"^[A-Z0-9_]{1,8}(\.[A-Z0-9_]{0,3};1)?(/|$)", p.split("/")[-1]) for p in jp_iso)
              and any(p.endswith("/JREBOOT.EXE;1") for p in jp_iso), "ISO 9660 level 1 names: %s" % sorted(jp_iso))

        # The same package in a folder ソフト of the disc: AutoRun's line names
        # it in code page 932, the bytes Japanese Windows opens.
        jproot, jprootimage = os.path.join(tmp, "jproot"), os.path.join(tmp, "jproot.iso")
        os.mkdir(jproot)
        shutil.copytree(jp, os.path.join(jproot, "ソフト"))
        os.remove(os.path.join(jproot, "ソフト", "AUTORUN.INF")) if os.path.exists(
            os.path.join(jproot, "ソフト", "AUTORUN.INF")) else None
        out = run([pkgtool, "cd", jproot, "-o", jprootimage, "--autorun", "--codepage", "932", "--label", "JP"], env=env)
        check(out.returncode == 0 and "open=ソフト\\setup.exe \\ソフト" in out.stdout.decode(),
              "cd --autorun of a folder ソフト: %d\n%s" % (out.returncode, out.stdout.decode()))
        autorun = run(["isoinfo", "-J", "-i", jprootimage, "-x", "/AUTORUN.INF;1"]).stdout
        want = "[autorun]\r\nopen=ソフト\\setup.exe \\ソフト\r\n".encode("cp932")
        check(autorun == want, "AUTORUN.INF in code page 932: %r" % autorun)

        # An error leaves no image behind, nor a half-written one.
        broken = os.path.join(tmp, "broken")
        stage(broken, package, EPOCH)
        os.remove(os.path.join(broken, "fitter16.exe"))
        out = run([pkgtool, "cd", broken, "-o", os.path.join(tmp, "broken.iso"), "--autorun"], env=env)
        check(out.returncode == 1 and "disc-helper-missing" in out.stdout.decode(),
              "a disc without the helper is refused: %d\n%s" % (out.returncode, out.stdout.decode()))
        check(not [n for n in os.listdir(tmp) if n.startswith("broken.iso")], "no image of the refused disc")
        # A driver file that the INF copies and the disc lacks, and an error in
        # a second package that AutoRun does not start: no image either.
        for case in ("driver-file", "second-package"):
            folder = os.path.join(tmp, case)
            stage(folder, package, EPOCH)
            if case == "driver-file":
                os.remove(os.path.join(folder, "WIN95", "EXAMPLE.DRV"))
                want = "driver-file-missing"
            else:
                os.mkdir(os.path.join(folder, "TOOLS"))
                with open(os.path.join(folder, "TOOLS", "SETUP.INI"), "w") as f:
                    f.write("[Application]\nW98=Bogus\n[Message]\nNotSupport=n\n")
                want = "[unknown-command] (package TOOLS)"
            out = run([pkgtool, "cd", folder, "-o", os.path.join(tmp, case + ".iso"), "--autorun"], env=env)
            check(out.returncode == 1 and want in out.stdout.decode(),
                  "%s: the disc is refused with %s: %d\n%s" % (case, want, out.returncode, out.stdout.decode()))
            check(not os.path.exists(os.path.join(tmp, case + ".iso")), "%s: no image" % case)
    finally:
        subprocess.run(["chmod", "-R", "u+w", tmp])
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d passed, %d failed" % (1 if not FAILURES else 0, 1 if FAILURES else 0))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
