#!/usr/bin/env python3
"""Runs the shipped setup.exe and Sequor.exe on the example package under Wine
and prints what a user of each Windows version would see.

The package (examples/package) is copied into a fresh Wine prefix with the
shipped binaries and two stand-ins for outside programs: the Windows 95/98
install helper fitter16.exe and, for Windows NT 4.0, the Display applet
(as rundll32.exe in the prefix's system32). A scripted user answers every box with
its default button. Wine's PC has no display card on its PCI bus, so on
Windows 95/98 the card check is what stops the script.

usage: demo.py <win32 build folder>
"""
import json
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "harness"))
import winetest as wt  # noqa: E402

PKG = "C:\\CDROM"
# Windows 98's setup.exe runs on a real bus (tests/realbus, --demo).
RUNS = [
    ("Windows 95", "win95", "setup.exe"),
    ("Windows NT 4.0", "nt40", "setup.exe"),
    ("Windows NT 3.51", "nt351", "setup.exe"),
    ("Windows 98, the sequence runner (runs setup.exe)", "win98", "Sequor.exe"),
]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def show(text):
    return text.replace("\r\n", "\n").replace("\n", "\n      ")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    win32 = os.path.abspath(sys.argv[1])
    doubles = os.path.join(win32, "tests", "e2e", "doubles")
    reason = wt.unusable_reason()
    if reason:
        print("Wine cannot run here: %s" % reason)
        return 1
    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=doubles) as pfx:
        host = pfx.mkdir(PKG)
        shutil.copytree(os.path.join(ROOT, "examples", "package"), host, dirs_exist_ok=True)
        shutil.copy(os.path.join(win32, "setup", "setup.exe"), host)
        shutil.copy(os.path.join(win32, "sequor", "Sequor.exe"), host)
        shutil.copy(os.path.join(doubles, "fitter16.exe"), host)
        pfx.install_system_program("applet.exe", "rundll32.exe")
        print("Package %s (examples/package): %s\n" % (PKG, ", ".join(sorted(os.listdir(host)))))
        for title, version, exe in RUNS:
            helper_log, applet_log = PKG + "\\helper.log", PKG + "\\applet.log"
            for p in (helper_log, applet_log):
                if os.path.exists(pfx.host_path(p)):
                    os.remove(pfx.host_path(p))
            # The NT 4.0 message stays open until the applet chain's end closes it.
            answers = ["Wait:30000"] if version == "nt40" else []
            r = wt.run_program(pfx, PKG + "\\" + exe, cwd=PKG, version=version, answers=answers, timeout=90,
                               env={"FITTER16_LOG": helper_log, "APPLET_LOG": applet_log}, name=title)
            print("== %s: %s" % (title, exe))
            for b in r.boxes:
                answer = b.get("answer") or ""
                if answer.lower().startswith("wait"):
                    answer = "nobody; closed by the launcher at the end of the applet chain"
                print("   box  [%s] %s   (%s; answered: %s)" % (b.caption, show(b.text), "/".join(b.button_names),
                                                                 answer))
            for e in read_log(pfx.host_path(helper_log)):
                if e["event"] == "start":
                    print("   helper started: %s" % e["cmdline"])
                elif e["event"] == "clicked":
                    print("   helper's Install button clicked")
                elif e["event"] == "end":
                    print("   helper ended with exit code %s" % e["code"])
            for e in read_log(pfx.host_path(applet_log)):
                print("   applet: %s%s" % (e["event"], (" " + e["text"]) if e["text"] else ""))
            print("   exit code %s\n" % r.exit_code)
    return 0


if __name__ == "__main__":
    sys.exit(main())
