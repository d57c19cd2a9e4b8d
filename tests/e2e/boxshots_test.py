#!/usr/bin/env python3
"""The real message boxes of the example package, photographed: the shipped
setup.exe runs the example under Wine in each Windows version of the table,
a screenshot of each box it shows is taken from the X server while the box is
on the screen and cut to the box's rectangle, and each box's caption, text,
buttons and icon must be the ones that `pkgtool run --all --json` draws in
the report for that path (the same OS key, no card: Wine has none).

The scripted user holds each box for HOLD_MS before it answers; on NT 4.0
the box is closed by setup itself when the applet chain ends, so the Display
applet double holds the last click that setup waits for (APPLET_HOLD_MS).
The pictures stay in OUTDIR: box-<version>-<n>.png, and the whole screen as
screen-<version>-<n>.png.

usage: boxshots_test.py PKGTOOL PACKAGE OUTDIR [case-filter...]
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out  # noqa: E402

PKG = "C:\\pkg"
HOLD_MS = 4000
# A box is logged before its first paint may have finished.
PAINT_S = 0.4
# Past this much of the hold the picture may show the box going away.
MARGIN_S = 1.0
RUN_LIMIT = 120

CASES = [dict(name=v, version=v) for v in ("win95", "win98", "winme", "nt351", "nt40", "win2k")]


def pkgtool_json(pkgtool, *args):
    out = subprocess.run([pkgtool, "run"] + list(args) + ["--json"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=60)
    if out.returncode not in (0, 1):
        raise wt.HarnessError("pkgtool run %s: %s" % (" ".join(args), out.stderr.decode(errors="replace")))
    return json.loads(out.stdout)


def drawn_boxes(paths, key):
    """The boxes the report draws for the path of this OS key without a card:
    (caption, text, buttons, icon, answer). Every such path must agree."""
    found = [[(s["caption"], s["text"].replace("\r\n", "\n"), s["buttons"], s.get("icon"), s["answer"])
              for s in t["steps"] if s["kind"] == "box"]
             for t in paths if t["osKey"] == key and t["path"].get("card", "") in ("", "no card")]
    if not found:
        raise wt.HarnessError("run --all has no path of %s without a card" % key)
    if any(f != found[0] for f in found):
        raise wt.HarnessError("the paths of %s without a card disagree: %r" % (key, found))
    return found[0]


def read_lines(path):
    try:
        with open(path, encoding="latin-1") as f:
            return [json.loads(line) for line in f if line.strip()]
    except (FileNotFoundError, ValueError):
        return []


def colours(png):
    out = subprocess.run(["convert", png, "-format", "%k", "info:"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=30)
    return int(out.stdout.strip() or 0)


def photograph(display, rect, screen, box):
    subprocess.run(["import", "-display", display, "-window", "root", screen], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)
    left, top, right, bottom = rect
    subprocess.run(["convert", screen, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                    "+repage", box], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)


def main():
    args = wt.standard_args(__doc__)
    if len(args.cases) < 3:
        print("usage: boxshots_test.py PKGTOOL PACKAGE OUTDIR [case-filter...]")
        return 1
    pkgtool, package, outdir = (os.path.abspath(a) for a in args.cases[:3])
    only = args.cases[3:]
    wt.require_tools()
    missing = [t for t in ("import", "convert") if not shutil.which(t)]
    if missing:
        print("SKIP: no %s (imagemagick; scripts/install-deps.sh installs it)" % ", ".join(missing))
        return wt.SKIP
    os.makedirs(outdir, exist_ok=True)
    for old in glob.glob(os.path.join(outdir, "*.png")):
        os.remove(old)
    paths = pkgtool_json(pkgtool, package, "--all")

    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
        pfx.install_system_program("applet.exe", "rundll32.exe")

        def case(c):
            v = c["version"]
            key = pkgtool_json(pkgtool, package, "--os", v, "--no-card")["osKey"]
            want = drawn_boxes(paths, key)
            host = lay_out(pfx, PKG)
            shutil.copytree(package, host, dirs_exist_ok=True)
            applet_log = PKG + "\\applet.log"
            # Boxes that setup closes itself stay until it does.
            answers = ["Wait:60000" if a.startswith("none") else "Wait:%d:%s" % (HOLD_MS, a)
                       for _, _, _, _, a in want]
            env = {"APPLET_LOG": applet_log, "APPLET_HOLD_MS": str(HOLD_MS)}
            name = "box_" + v
            done = {}
            runner = threading.Thread(target=lambda: done.update(r=wt.run_program(
                pfx, PKG + "\\setup.exe", cwd=PKG, version=v, answers=answers, env=env, name=name,
                timeout=RUN_LIMIT)), daemon=True)
            runner.start()

            shots, late = [], []
            deadline = time.monotonic() + RUN_LIMIT + 60
            while runner.is_alive() and time.monotonic() < deadline:
                logs = glob.glob(os.path.join(pfx.root, "runs", "*-" + name, "user.log"))
                boxes = [b for b in read_lines(logs[0]) if "seq" in b] if logs else []
                for b in boxes[len(shots):]:
                    closes_itself = len(shots) < len(want) and want[len(shots)][4].startswith("none")
                    if closes_itself:
                        # Held by the applet: the chain's later dialogs are gone by then.
                        while runner.is_alive() and time.monotonic() < deadline and not any(
                                e["event"] == "holding" for e in read_lines(pfx.host_path(applet_log))):
                            time.sleep(0.05)
                    held = time.monotonic()
                    time.sleep(PAINT_S)
                    n = len(shots) + 1
                    shot = os.path.join(outdir, "box-%s-%d.png" % (v, n))
                    photograph(x.display, b["rect"], os.path.join(outdir, "screen-%s-%d.png" % (v, n)), shot)
                    if time.monotonic() - held > HOLD_MS / 1000 - MARGIN_S:
                        late.append(n)
                    shots.append(shot)
                time.sleep(0.05)
            runner.join(max(deadline - time.monotonic(), 1))
            wt.check(not runner.is_alive(), "the run of setup.exe ended within %d s" % (RUN_LIMIT + 60))
            r = done["r"]
            wt.check(not r.user_errors, "the scripted user had no complaint", r)
            real = [(b.caption, b.text.replace("\r\n", "\n"), "/".join(b.button_names), b.icon) for b in r.boxes]
            wt.check_eq(real, [w[:4] for w in want], "boxes under Wine %s, then as the report draws them for %s "
                        "without a card" % (v, key), r)
            wt.check_eq(len(shots), len(r.boxes), "screenshots taken", r)
            wt.check(not late, "screenshots %s taken while the box was still held" % late, r)
            for s in shots:
                # A frame, a title bar, text and a button: never one flat colour.
                wt.check(colours(s) >= 4, "%s shows a drawn box (%d colours)" % (s, colours(s)), r)

        return wt.run_cases(CASES, case, only=only)


if __name__ == "__main__":
    sys.exit(main())
