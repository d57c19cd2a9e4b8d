#!/usr/bin/env python3
"""Self-test of the Wine harness, on boxdemo.exe and exitcode.exe.

Covers: what user.exe records of a box (caption, text, buttons, icon, default),
each kind of answer, the full 32-bit exit code and CPU time from runner.exe,
the reported Windows version (global and per program), a crash ending fast,
a hung box ending by time-out, the clean-up of what a run leaves running,
and last, a harness killed outright leaving no Wine process behind.
Leaves out: owned boxes and dialogs other than message boxes.

usage: selftest.py --doubles <folder with the built doubles> [case-filter...]
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402

MB_OK, MB_OKCANCEL, MB_ABORTRETRYIGNORE, MB_YESNOCANCEL, MB_YESNO = 0, 1, 2, 3, 4
MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK = 0x10, 0x20, 0x30, 0x40
MB_DEFBUTTON2, MB_DEFBUTTON3 = 0x100, 0x200

FIRST = dict(caption="SETUP", text="Line one\r\nLine two", buttons=["OK", "Cancel"],
             icon="exclamation", default="OK")
SECOND = dict(caption="SETUP", buttons=["OK"], icon="exclamation", default="OK")

# What GetVersionExA gives in each mode, as boxdemo's second box shows it.
SEEN = {
    "win95": "x 1 4.0 ''",
    "win98": "x 1 4.10 ' A '",
    "nt40": "x 2 4.0 'Service Pack 6a'",
    "nt351": "x 2 3.51 'Service Pack 5'",
}

CASES = [
    # The two-box program: answers, and the exit code each path gives.
    dict(name="cancel_then_ok", kind="demo", answers=["Cancel", "OK"], code=3010),
    dict(name="ok_then_ok", kind="demo", answers=["OK", "OK"], code=7),
    dict(name="close_counts_as_cancel", kind="demo", answers=["Close", "OK"], code=3010),
    dict(name="escape_counts_as_cancel", kind="demo", answers=["Esc", "OK"], code=3010),
    dict(name="no_answers_press_default", kind="demo", answers=[], code=7),
    dict(name="button_by_id", kind="demo", answers=["Button:2", "Button:1"], code=3010),
    dict(name="wait_then_answer", kind="demo", answers=["Wait:300:Cancel", "OK"], code=3010,
         min_wall_ms=300),
    # Versions: the second box reports what the program was told.
    dict(name="version_default_is_nt6", kind="demo", answers=[], code=7, version=None),
    dict(name="version_win95", kind="demo", answers=[], code=7, version="win95"),
    dict(name="version_win98", kind="demo", answers=[], code=7, version="win98"),
    dict(name="version_nt40", kind="demo", answers=[], code=7, version="nt40"),
    dict(name="version_nt351", kind="demo", answers=[], code=7, version="nt351"),
    # Single boxes: icon kinds, button sets, default buttons.
    dict(name="question_yes_no", kind="box", style=MB_YESNO | MB_ICONQUESTION, answers=["No"],
         code=7, box=dict(buttons=["Yes", "No"], icon="question", default="Yes")),
    dict(name="hand_abort_retry_ignore", kind="box", style=MB_ABORTRETRYIGNORE | MB_ICONHAND,
         answers=["Retry"], code=4,
         box=dict(buttons=["Abort", "Retry", "Ignore"], icon="hand", default="Abort")),
    dict(name="asterisk_ok", kind="box", style=MB_OK | MB_ICONASTERISK, answers=["OK"], code=1,
         box=dict(buttons=["OK"], icon="asterisk", default="OK")),
    dict(name="no_icon", kind="box", style=MB_OK, answers=[], code=1,
         box=dict(buttons=["OK"], icon="none", default="OK")),
    dict(name="default_second_button", kind="box", style=MB_YESNOCANCEL | MB_DEFBUTTON2,
         answers=[], code=7, box=dict(buttons=["Yes", "No", "Cancel"], default="No")),
    dict(name="default_third_button", kind="box", style=MB_YESNOCANCEL | MB_DEFBUTTON3,
         answers=["Default"], code=2, box=dict(default="Cancel")),
    dict(name="text_escaping", kind="box", style=MB_OK, answers=["OK"], code=1,
         text='quote " back \\ tab\tend', box=dict(text='quote " back \\ tab\tend')),
    # The rest of the machinery.
    dict(name="per_program_version", kind="appversion"),
    dict(name="full_exit_code_and_cwd", kind="exitcode", code=0xC0000005),
    dict(name="verbatim_command_line", kind="verbatim"),
    dict(name="cpu_time_busy_vs_idle", kind="cpu"),
    dict(name="crash_ends_fast", kind="crash"),
    dict(name="hung_box_times_out", kind="leave"),
    dict(name="leftover_is_killed", kind="leftover"),
    dict(name="missing_program", kind="missing"),
    dict(name="impossible_answer_reported", kind="impossible"),
    dict(name="registry_helpers", kind="registry"),
    dict(name="path_mapping", kind="paths"),
    # Last: the killed harness's guard ends this prefix's Wine session too.
    dict(name="killed_harness_leaves_no_wine", kind="killed"),
]


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    if not args.doubles:
        print("FAIL: no --doubles folder given")
        return 1
    doubles = os.path.abspath(args.doubles)
    demo = os.path.join(doubles, "boxdemo.exe")
    exitcode = os.path.join(doubles, "exitcode.exe")
    for path in (demo, exitcode):
        if not os.path.isfile(path):
            print("FAIL: %s missing" % path)
            return 1

    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=doubles, keep=args.keep) as pfx:
        print("prefix ready in %.1f s on display %s" % (pfx.boot_seconds, x.display), flush=True)

        def run(exe, argv=(), **kw):
            kw.setdefault("timeout", 60)
            return wt.run_program(pfx, exe, argv, **kw)

        def case(c):
            kind = c["kind"]
            if kind == "demo":
                r = run(demo, answers=c["answers"], version=c.get("version"), name=c["name"])
                wt.check_exit(r, c["code"])
                second = dict(SECOND)
                if c.get("version") in SEEN:
                    second["text"] = SEEN[c["version"]]
                wt.check_boxes(r, [FIRST, second])
                if "version" in c and c["version"] is None:
                    wt.check(r.boxes[1].text.startswith("x 2 6."), "default version is NT 6.x", r)
                for box, answer in zip(r.boxes, c["answers"] or ["(default)"] * 2):
                    wt.check_eq(box.answer, answer, "answer recorded", r)
                wt.check(all(b.pid == r.pid for b in r.boxes), "boxes belong to the program", r)
                wt.check(r.wall_ms >= c.get("min_wall_ms", 0), "wall time covers the wait", r)
                wt.check(not r.user_errors, "user.exe reported no error", r)
            elif kind == "box":
                text = c.get("text", c["name"])
                r = run(demo, ["0x%x" % c["style"], text], answers=c["answers"], name=c["name"])
                wt.check_exit(r, c["code"])
                wt.check_boxes(r, [dict(dict(caption="SETUP", text=text), **c["box"])])
            elif kind == "appversion":
                r = run(demo, app_versions={"boxdemo.exe": "nt40"}, version="win98")
                wt.check_exit(r, 7)
                wt.check_eq(r.texts[1], SEEN["nt40"], "per-program version wins", r)
                r = run(demo, version="win98")
                wt.check_eq(r.texts[1], SEEN["win98"], "per-program version reset by next run", r)
            elif kind == "exitcode":
                log = os.path.join(pfx.root, "exitcode.log")
                work = pfx.mkdir("C:\\work dir")
                r = run(exitcode, [pfx.win_path(log), "0x%X" % c["code"]], cwd="C:\\work dir")
                wt.check_exit(r, c["code"])
                wt.check(r.exit_code > 255, "code wider than 8 bits", r)
                line = _last_json(log)
                wt.check_eq(line["cwd"], "C:\\work dir", "working directory", r)
                wt.check_eq(line["cmdline"], r.cmdline, "command line as given", r)
                wt.check(os.path.isdir(work), "mkdir made the host folder")
            elif kind == "verbatim":
                log = os.path.join(pfx.root, "verbatim.log")
                tail = '%s 5 0  "a  b"  \\"c' % pfx.win_path(log)
                r = run(exitcode, tail)
                wt.check_exit(r, 5)
                wt.check_eq(_last_json(log)["cmdline"], r.cmdline, "verbatim command line", r)
                wt.check(r.cmdline.endswith(tail), "tail kept as written", r)
            elif kind == "cpu":
                # boxdemo spins until its process has used 3 s of CPU, Wine's
                # start-up included; the sleeper's CPU is that start-up alone,
                # a second or so where Wine's loader runs emulated.
                busy = run(demo, ["spin", "3000"])
                wt.check_exit(busy, 0)
                wt.check(busy.cpu_ms >= 2900, "busy program shows its CPU time", busy)
                idle = run(exitcode, ["NUL", "0", "3000"])
                wt.check_exit(idle, 0)
                wt.check(idle.wall_ms >= 3000, "idle program's wall time", idle)
                wt.check(busy.cpu_ms - idle.cpu_ms >= 1000, "sleeping shows far less CPU than spinning", idle)
            elif kind == "crash":
                r = run(demo, ["crash"])
                wt.check_exit(r, 0xC0000005)
                wt.check(r.host_seconds < 30, "crash ends without a debugger", r)
                wt.check_eq(r.boxes, [], "no crash dialog", r)
            elif kind == "leave":
                # These two end only by the time-out, which must still leave
                # a loaded machine's emulated Wine time to show the box.
                r = run(demo, answers=["Leave"], timeout=20)
                wt.check_eq(r.status, "timeout", "status", r)
                wt.check_eq(r.exit_code, 0xDEAD, "runner's termination code", r)
                wt.check_boxes(r, [FIRST])
                wt.check_eq(pfx.leftovers(), {}, "nothing left after the time-out", r)
            elif kind == "leftover":
                child = "%s NUL 0 20000" % wt.quote_arg(pfx.win_path(exitcode))
                r = run(demo, "spawn " + child)
                wt.check_exit(r, 0)
                wt.check(any(n.lower().endswith("exitcode.exe") for n in r.left_running),
                         "child listed as left running", r)
                wt.check_eq(pfx.leftovers(), {}, "left child killed", r)
            elif kind == "impossible":
                r = run(demo, ["0", "only OK here"], answers=["Yes"], timeout=20)
                wt.check(any("answer Yes not possible" in e for e in r.user_errors),
                         "answer without its button reported", r)
            elif kind == "missing":
                r = run("C:\\nowhere\\none.exe")
                wt.check_eq(r.status, "createfailed", "status", r)
                wt.check_eq(r.create_error, "2", "error", r)
            elif kind == "registry":
                key = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Selftest"
                pfx.reg_add(key, "DisplayName", "Self test")
                wt.check_eq(pfx.reg_query(key, "DisplayName"), "Self test", "reg add")
                pfx.import_reg("[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1234&DEV_5678]\n"
                               '"Class"="Display"\n')
                wt.check_eq(pfx.reg_query(r"HKLM\Enum\PCI\VEN_1234&DEV_5678", "Class"),
                            "Display", "reg import")
                wt.check_eq(pfx.reg_query(key, "Nothing"), None, "missing value")
                wt.check_eq(pfx.reg_query(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                                          "Debugger"), None, "debugger entry removed")
            elif kind == "paths":
                wt.check_eq(pfx.host_path("C:\\pkg\\SETUP.INI"),
                            os.path.join(pfx.drive_c, "pkg", "SETUP.INI"), "C: to host")
                wt.check_eq(pfx.win_path(os.path.join(pfx.drive_c, "pkg")), "C:\\pkg", "host to C:")
                wt.check_eq(pfx.win_path("/tmp/x y"), "Z:\\tmp\\x y", "host to Z:")
                wt.check_eq(pfx.host_path("Z:\\tmp\\a"), "/tmp/a", "Z: to host")
            elif kind == "killed":
                # A harness that ctest kills at its time-out gets no chance
                # to clean up: its guard must end what it started.
                prog = subprocess.Popen([wt.WINE, exitcode, "NUL", "0", "120000"], env=pfx.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
                harness = subprocess.Popen(
                    [sys.executable, "-c", "import sys, time, winetest as wt\n"
                     "wt._guard('prefix', sys.argv[1], '')\nprint('ready', flush=True)\ntime.sleep(600)\n",
                     pfx.path], env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.abspath(wt.__file__))),
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                try:
                    wt.check_eq(harness.stdout.readline().strip(), b"ready", "the harness started")
                    found = lambda: [n for n in pfx.processes().values() if n.lower().endswith("exitcode.exe")]
                    deadline = time.monotonic() + 60
                    while not found() and time.monotonic() < deadline:
                        time.sleep(0.2)
                    wt.check(found(), "the program runs in the prefix")
                    harness.kill()
                    harness.wait(10)
                    deadline = time.monotonic() + 60
                    while found() and time.monotonic() < deadline:
                        time.sleep(0.2)
                    wt.check_eq(found(), [], "Wine processes after the harness was killed")
                finally:
                    harness.kill()
                    harness.stdout.close()
                    prog.kill()
                    prog.wait(10)
            else:
                raise wt.HarnessError("unknown kind %s" % kind)

        wt.run_cases(CASES, case, only=args.cases)


def _last_json(path):
    import json
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    wt.check(lines, "log %s has a line" % path)
    return json.loads(lines[-1])


if __name__ == "__main__":
    sys.exit(main())
