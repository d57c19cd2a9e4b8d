#!/usr/bin/env python3
"""The Windows 95/98 install route of the shipped setup.exe under Wine.

Covers: the helper's exact command line for a PCI and an AGP entry (Wine's
bus reads all ones, so the entry 65535,65535 finds BUS_FF&DEV_1F&FUNC_00),
the OS directory with and without a [SubDir] value, the helper flag, the
helper's exit code handed on as the launcher's own, the click on control 1
of the helper's on-screen window (hidden and off-screen windows are passed
over), "NotSupport" without a route (nt351), a helper that ends before it
shows a window, a helper that cannot be found. With WINETEST_BENCH=1, prints
the launcher's CPU share while a helper takes 3 s to show its window, beside
a build that scans without pausing (figures only, never checked).
Leaves out: the NT 4.0 route (nt4_test.py).
"""
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out, messages  # noqa: E402

KEY = r"Enum\PCI\VEN_FFFF&DEV_FFFF"
AT = "BUS_FF&DEV_1F&FUNC_00"
PKG = "C:\\pkg"


def script(key="W98", commands="DetectCard,Install,ShowMsgDone", entry="65535,65535,PCI,1,0", subdir=r"\WIN95",
           extra=""):
    text = "[Application]\n%s=%s\n" % (key, commands)
    if subdir is not None:
        text += "[SubDir]\n%s=%s\n" % (key, subdir)
    text += "[DetectCard]\n1=%s\n" % entry
    text += "[Message]\nNotSupport=not supported\nShowMsgDone=done\nDetectCard=no card\n" + extra
    return text


DONE = ("SETUP", "done", ("OK",), "exclamation")

# Without a DetectCard the card identity is empty: the helper's arguments
# then start with "Enum\PCI\" and an empty location. Cases about the helper's
# behaviour leave the scan out, since each scan takes seconds under Wine.
NO_CARD = r"fitter16.exe Enum\PCI\  C:\pkg\WIN95 0"
INSTALL_ONLY = dict(commands="Install,ShowMsgDone")

CASES = [
    dict(name="pci_entry_command_line", script=script(),
         cmdline=r"fitter16.exe %s %s C:\pkg\WIN95 1" % (KEY, AT), code=0, boxes=[DONE]),
    dict(name="agp_entry_without_subdir", script=script(entry="65535,65535,agp,0,0", subdir=None),
         cmdline=r"fitter16.exe %s 000800 C:\pkg 0" % KEY, code=0, boxes=[DONE]),
    dict(name="win95_subdir_and_flag", version="win95",
         script=script(key="W95A", entry="65535,65535,PCI,10,0", subdir=r"\W95"),
         cmdline=r"fitter16.exe %s %s C:\pkg\W95 1" % (KEY, AT), code=0, boxes=[DONE]),
    # The 32-bit twin: under Wine a 16-bit program's exit code never reaches
    # the launcher (winetest.helper_double).
    dict(name="exit_code_3_is_handed_on", script=script(**INSTALL_ONLY), env={"FITTER16_EXIT": "3"},
         cmdline=NO_CARD, code=3, boxes=[DONE], double=wt.HELPER32),
    dict(name="on_screen_window_is_clicked_not_the_decoys", script=script(**INSTALL_ONLY),
         env={"FITTER16_MODE": "decoys"}, cmdline=NO_CARD, code=0, boxes=[DONE]),
    # Another 16-bit program with a visible window and a control 1 is
    # already running: the launcher takes its own helper's window.
    dict(name="another_16bit_program_is_left_alone", script=script(**INSTALL_ONLY), other16=True,
         cmdline=NO_CARD, code=0, boxes=[DONE]),
    # The walk goes on after the quit request, but the platform ends the next
    # box at once on the pending quit message: at most a blank frame of it
    # flashes up, so only the first box is certain.
    dict(name="nt351_has_no_route", version="nt351", script=script(key="NT35X", commands="Install,ShowMsgDone"),
         cmdline=None, code=0, first_boxes=[("SETUP", "not supported", ("OK",), "exclamation")]),
    dict(name="helper_ends_before_its_window", script=script(**INSTALL_ONLY),
         env={"FITTER16_MODE": "endearly", "FITTER16_SHOW_MS": "500"},
         cmdline=NO_CARD, code=0, clicked=False, boxes=[DONE]),
    dict(name="helper_missing", script=script(extra="HelperNotRun=the helper could not be started\n", **INSTALL_ONLY),
         helper=False, cmdline=None, code=254,
         boxes=[("SETUP", "the helper could not be started", ("OK",), "exclamation"), DONE]),
    dict(name="helper_missing_without_message", script=script(**INSTALL_ONLY), helper=False, cmdline=None,
         code=254, boxes=[DONE]),
]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def wait_share(pfx, exe):
    """The launcher's CPU share while it waits for the helper's window: over
    6 s in the middle of a 10 s wait."""
    lay_out(pfx, PKG, script(**INSTALL_ONLY), doubles=[(wt.HELPER16, "fitter16.exe")])
    if exe != "setup.exe":
        shutil.copy(os.path.join(os.environ["WINETEST_WIN32_DIR"], "setup", exe), pfx.host_path(PKG + "\\" + exe))
    log = PKG + "\\fitter.log"
    share = wt.CpuShare(pfx, exe, lambda: read_log(pfx.host_path(log)))
    share.start()
    r = wt.run_program(pfx, PKG + "\\" + exe, cwd=PKG, name="cpu_" + exe, timeout=60, version="win98",
                       env={"FITTER16_SHOW_MS": "10000", "FITTER16_LOG": log})
    share.finish()
    wt.check_exit(r, 0)
    if share.cpu is None:
        raise wt.HarnessError("the launcher's process was not found")
    return share.cpu, share.wall


OTHER = "C:\\other"


def start_other_16bit(pfx):
    """Another copy of the 16-bit stand-in, started from Linux before the
    launcher: on the screen with its own control 1, and never clicked."""
    lay_out(pfx, OTHER, None, doubles=[(wt.HELPER16, "fitter16.exe")])
    log = OTHER + "\\other.log"
    proc = pfx.start_background(OTHER + "\\fitter16.exe", ["other"], cwd=OTHER, env={"FITTER16_LOG": log})
    deadline = wt.time.monotonic() + 60
    while not any(e["event"] == "window" for e in read_log(pfx.host_path(log))):
        if wt.time.monotonic() > deadline or proc.poll() is not None:
            raise wt.HarnessError("the other 16-bit program showed no window within 60 s")
        wt.time.sleep(0.2)
    return log, winevdms(pfx)


def winevdms(pfx):
    return sorted(pid for pid, name in pfx.processes().items() if name.lower().endswith("winevdm.exe"))


def check_other_16bit(pfx, other, r):
    """The other program was not clicked and still runs, alone in the
    winevdm.exe it had before the launcher started: Wine gave the helper a
    process, and so a thread, of its own. Then it is ended."""
    log, before = other
    events = [e["event"] for e in read_log(pfx.host_path(log))]
    wt.check("clicked" not in events, "the other 16-bit program's control 1 was not clicked: %s" % events, r)
    wt.check_eq(winevdms(pfx), before, "winevdm.exe processes: the other program's alone, as before the run", r)
    print("two 16-bit programs: the helper ran in a winevdm.exe of its own beside the other's (pid %s)"
          % before, flush=True)
    pfx._kill(pfx.leftovers())


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
        def case(c):
            double = c.get("double", wt.HELPER16)
            doubles = [(double, "fitter16.exe")] if c.get("helper", True) else []
            lay_out(pfx, PKG, c["script"], doubles=doubles)
            log = PKG + "\\fitter.log"
            env = dict(c.get("env", {}))
            env["FITTER16_LOG"] = log
            other = start_other_16bit(pfx) if c.get("other16") else None
            r = wt.run_program(pfx, PKG + "\\setup.exe", cwd=PKG, version=c.get("version", "win98"),
                               env=env, name=c["name"], timeout=120, keep_running=bool(other))
            if other:
                check_other_16bit(pfx, other, r)
            wt.check_exit(r, c["code"])
            if "first_boxes" in c:
                wt.check_eq(messages(r)[:len(c["first_boxes"])], c["first_boxes"], "first message boxes", r)
                wt.check("done" not in [b.text for b in r.boxes], "the later box was not there to answer", r)
            else:
                wt.check_eq(messages(r), c["boxes"], "message boxes", r)
            events = read_log(pfx.host_path(log))
            starts = [e for e in events if e["event"] == "start"]
            if c["cmdline"] is None:
                wt.check_eq(starts, [], "helper starts", r)
            else:
                got = [e["cmdline"] for e in starts]
                want = [wt.helper_command_line(c["cmdline"], double)]
                wt.check_eq(got, want, "helper command line", r)
                wt.check_eq(starts[0]["cwd"], PKG, "helper's working directory (the launcher's)", r)
                clicked = [e for e in events if e["event"] == "clicked"]
                wt.check_eq(len(clicked), 1 if c.get("clicked", True) else 0, "clicks on control 1", r)
                wt.check_eq([e["event"] for e in events][-1], "end", "the launcher ended after the helper", r)
            # The other 16-bit program is still running by design: ended above.
            wt.check(other or not r.left_running, "nothing left running", r)

        status = None
        try:
            wt.run_cases(CASES, case, args.cases)
        except SystemExit as e:
            status = e.code
        if os.environ.get("WINETEST_BENCH") and not args.cases:
            for exe, label in (("setup.exe", "pausing scan (shipped)"), ("setup_spin.exe", "spinning scan")):
                try:
                    cpu, wall = wait_share(pfx, exe)
                except Exception as e:  # figures only: never fail the tier for them
                    print("CPU share, %s: not measured (%s)" % (label, str(e).splitlines()[0]))
                    continue
                print("Launcher CPU while it waits for the helper's window, %s: %.2f s in %.2f s (%.1f %%)"
                      % (label, cpu, wall, 100.0 * cpu / wall), flush=True)
        return status


if __name__ == "__main__":
    sys.exit(main())
