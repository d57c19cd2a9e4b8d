#!/usr/bin/env python3
"""The Windows NT 4.0 install route of the shipped setup.exe under Wine.

A Display applet double (doubles/applet.cpp) stands where the system's
rundll32.exe lies, in the prefix's system32.
Covers: the whole click chain while a later message box keeps messages
flowing (the path typed is the OS directory, stage 7 clicks the applet's OK
and its quit message closes the open box); Install last or followed by End
(the launcher ends after the completions already there, the applet stays
where the chain stopped); an applet left open by an earlier run with two
dialogs, closed deepest first before the new one starts; an owner class
"rundll" in other letter case left alone; an OS directory too long for its
buffer starting no applet at all (exit code 254, the HelperNotRun message),
so that nothing but the OS directory can reach the path box; a
rundll32.exe planted next to setup.exe (a download folder) never runs, the
system's does.
Leaves out: the real applet, which Wine does not have.
"""
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out, messages  # noqa: E402

PKG = "C:\\pkg"
MESSAGES = "[Message]\nShowMsgNT=Follow the instructions.\nNotSupport=not supported\n"
FULL_CHAIN = ["click 265", "click 519", "click 1567", "pasted", "path OK", "follow-up OK", "question Yes",
              "closing window closed", "first dialog closed", "applet OK", "end"]
UNTIL_PASTE = ["click 265", "click 519", "click 1567", "pasted"]


def script(commands, subdir="\\NT40"):
    text = "[Application]\nNT40=%s\n" % commands
    if subdir is not None:
        text += "[SubDir]\nNT40=%s\n" % subdir
    return text + MESSAGES


CASES = [
    dict(name="chain_runs_while_a_later_box_is_open", script=script("Install,ShowMsgNT"),
         path=PKG + "\\NT40", chain=FULL_CHAIN, boxes=[("SETUP", "Follow the instructions.", ("OK",), "exclamation")],
         applet_left=False),
    dict(name="path_without_subdir_is_the_launch_directory", script=script("Install,ShowMsgNT", subdir=None),
         path=PKG, chain=FULL_CHAIN, boxes=[("SETUP", "Follow the instructions.", ("OK",), "exclamation")],
         applet_left=False),
    dict(name="install_last_leaves_the_applet_where_the_chain_stopped", script=script("Install"),
         path=PKG + "\\NT40", chain=UNTIL_PASTE, boxes=[], applet_left=True),
    dict(name="install_then_end_likewise", script=script("Install,End,ShowMsgNT"),
         path=PKG + "\\NT40", chain=UNTIL_PASTE, boxes=[], applet_left=True),
    dict(name="leftover_applet_is_closed_deepest_first", script=script("Install,ShowMsgNT"),
         leftover=("2", "RunDLL"), path=PKG + "\\NT40", chain=FULL_CHAIN,
         boxes=[("SETUP", "Follow the instructions.", ("OK",), "exclamation")], applet_left=False),
    dict(name="rundll32_planted_beside_setup_never_runs", script=script("Install,ShowMsgNT"), planted=True,
         path=PKG + "\\NT40", chain=FULL_CHAIN, boxes=[("SETUP", "Follow the instructions.", ("OK",), "exclamation")],
         applet_left=False),
    dict(name="owner_class_in_other_case_is_left_alone", script=script("Install"),
         leftover=("1", "rundll"), path=PKG + "\\NT40", chain=UNTIL_PASTE, boxes=[], applet_left=True),
    # C:\pkg and 255 more characters do not fit the 260 bytes of the OS directory.
    dict(name="os_directory_that_does_not_fit_starts_no_applet",
         script=script("Install,ShowMsgNT", subdir="\\" + "D" * 254) + "HelperNotRun=Cannot install.\n",
         code=254, answers=["OK", "OK"], chain=None, applet_left=False,
         boxes=[("SETUP", "Cannot install.", ("OK",), "exclamation"),
                ("SETUP", "Follow the instructions.", ("OK",), "exclamation")]),
]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
        pfx.install_system_program("applet.exe", "rundll32.exe")

        def case(c):
            # The planted one records its start, should it ever run.
            lay_out(pfx, PKG, c["script"], doubles=[("exitcode.exe", "rundll32.exe")] if c.get("planted") else [])
            log = PKG + "\\applet.log"
            planted_log = PKG + "\\planted.log"
            env = {"APPLET_LOG": log, "EXITCODE_LOG": planted_log}
            leftover_pid = None
            if c.get("leftover"):
                # Started through boxdemo, which ends at once and leaves it running.
                n, owner = c["leftover"]
                wt.run_program(pfx, os.path.join(pfx.doubles, "boxdemo.exe"),
                               "spawn %s\\rundll32.exe leftover %s %s" % (pfx.SYSTEM32, n, owner), cwd=PKG, env=env,
                               name=c["name"] + "_leftover", keep_running=True, timeout=30)
                opened = "opened dialog %s" % n
                deadline = time.monotonic() + 60
                while time.monotonic() < deadline and not any(
                        e["event"] == opened for e in read_log(pfx.host_path(log))):
                    time.sleep(0.2)
                leftover_pid = read_log(pfx.host_path(log))[0]["pid"]
            # The user leaves the box alone: the chain's quit message closes it.
            r = wt.run_program(pfx, PKG + "\\setup.exe", cwd=PKG, version="nt40", env=env, name=c["name"],
                               answers=c.get("answers", ["Wait:60000"] if c["boxes"] else []), timeout=120)
            wt.check_exit(r, c.get("code", 0))
            wt.check_eq(read_log(pfx.host_path(planted_log)), [], "starts of the rundll32.exe beside setup.exe", r)
            wt.check_eq(messages(r), c["boxes"], "message boxes", r)
            events = read_log(pfx.host_path(log))
            if c["chain"] is None:
                wt.check_eq(events, [], "what the applet saw (it never started)", r)
                return
            new = events
            if leftover_pid is not None:
                # Wine hands a freed process id out again, so the new applet
                # may carry the closed one's: the new one's events begin at
                # the second start. Only what the old one logged before that
                # counts as its own, so a close after it fails the check.
                starts = [i for i, e in enumerate(events) if e["event"] == "start"]
                split = starts[1] if len(starts) > 1 else len(events)
                old = [e["event"] for e in events[:split] if e["pid"] == leftover_pid and e["event"].startswith("closed")]
                if c["leftover"][1] == "RunDLL":
                    wt.check_eq(old, ["closed dialog 2", "closed dialog 1", "closed applet"],
                                "the left-over applet closed deepest first, before the new one started", r)
                    new = events[split:]
                else:
                    wt.check_eq(old, [], "an owner of class 'rundll' is not ours to close", r)
                    new = [e for e in events[split:] if e["pid"] != leftover_pid]
            wt.check(new and new[0]["event"] == "start", "the applet was started", r)
            wt.check_eq(new[0]["text"], "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3",
                        "the applet's command line", r)
            chain = [e["event"] for e in new[1:]]
            if c["applet_left"]:
                # The launcher ends after the completions that have arrived
                # when its loop starts, so how far the chain got depends on
                # timing (on a loaded machine it can stop before the paste);
                # the first click is always sent, and the end never comes.
                wt.check(chain[:1] == ["click 265"] and chain[:len(c["chain"])] == c["chain"][:len(chain)],
                         "the applet's first clicks in the order of %r: got %r" % (c["chain"], chain), r)
                wt.check("applet OK" not in chain, "the chain did not reach the applet's OK", r)
            else:
                wt.check_eq(chain, c["chain"], "the applet's clicks in order", r)
            for e in new:
                if e["event"] in ("pasted", "path OK"):
                    wt.check_eq(e["text"], c["path"], "the path typed into the applet", r)
            left = [n for n in r.left_running if n.lower().endswith("rundll32.exe")]
            expected_left = int(c["applet_left"]) + int(bool(c.get("leftover")) and c["leftover"][1] != "RunDLL")
            wt.check_eq(len(left), expected_left, "applets left running", r)

        return wt.run_cases(CASES, case, only=args.cases)


if __name__ == "__main__":
    sys.exit(main())
