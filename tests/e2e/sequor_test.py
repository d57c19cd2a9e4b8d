#!/usr/bin/env python3
"""Opening further programs (setup's Exec entries) and the sequence runner
Sequor.exe, shipped binaries under Wine.

Covers: Exec opening a program of ours through the shell in the working
directory of its third field, [CWD] expanded, and two Exec entries opening
two programs without waiting for either; Sequor running programs of ours one
after another (each starts after the previous one ended), the highest exit
code deciding the prompt (1 and 2 reboot, 1 restart, 1 and 3 none, -1 none,
every start failed none), the prompt's text, caption and buttons as the user
sees them, No leaving the machine alone, a key gap, "null" fields, a working
directory with a leading blank that fails to start, and last, in this
throwaway prefix, Yes on NT 4.0 enabling the shutdown privilege and then
calling the restart (the calls and their order, from Wine's relay trace).
Leaves out: a real restart, which Wine turns into the end of its session.
"""
import json
import os
import shutil
import time
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out, messages, shipped  # noqa: E402

PKG = "C:\\pkg"
RESTART = ("Sequor", "System need to restart Windows.\n\nDo you want to RESTART Windows now?", ("Yes", "No"),
           "exclamation")
REBOOT = ("Sequor", "System need to reboot.\n\nDo you want to REBOOT Windows now?", ("Yes", "No"), "exclamation")


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def program(code, sleep_ms=0):
    return "[CWD]\\exitcode.exe %s %d" % (code, sleep_ms)


SEQUOR_CASES = [
    dict(name="each_starts_after_the_previous_ended_no_prompt",
         items=[program(0, 300) + ",[CWD]", program(0, 300) + ",[CWD]", program(0) + ",[CWD]"], ran=3, boxes=[]),
    dict(name="codes_1_and_2_reboot_prompt_no", items=[program(1) + ",null", program(2) + ",null"], ran=2,
         answers=["No"], boxes=[REBOOT]),
    dict(name="code_1_restart_prompt_no", items=[program(1) + ",[CWD]"], ran=1, answers=["No"], boxes=[RESTART]),
    dict(name="codes_1_and_3_no_prompt", items=[program(1) + ",null", program(3) + ",null"], ran=2, boxes=[]),
    dict(name="code_minus_1_no_prompt", items=[program("0xFFFFFFFF") + ",null", program(1) + ",null"], ran=2,
         boxes=[]),
    dict(name="every_start_failed_no_prompt", items=["[CWD]\\absent.exe,null", "null,[CWD]"], ran=0, boxes=[]),
    dict(name="key_gap_ends_the_list", items={"1": program(0) + ",null", "2": program(0) + ",null",
                                              "4": program(2) + ",null"}, ran=2, boxes=[]),
    dict(name="null_in_any_case_and_a_blank_directory",
         items=[program(0) + ",NULL", program(2) + ", null", program(1) + ",Null"], ran=2, boxes=[RESTART],
         answers=["No"], cwds=["C:\\pkg", "C:\\pkg"]),
]


def sequor_ini(items):
    if isinstance(items, dict):
        pairs = sorted(items.items())
    else:
        pairs = [(str(i + 1), v) for i, v in enumerate(items)]
    return "[ProcessList]\n" + "".join("%s=%s\n" % kv for kv in pairs)


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
        log = PKG + "\\programs.log"

        def exec_case(c):
            lay_out(pfx, PKG, c["script"], doubles=[("opened.exe", "opened.exe")])
            pfx.mkdir(PKG + "\\work dir")
            env = {"OPENED_LOG": log, "OPENED_SLEEP_MS": str(c.get("sleep", 0))}
            r = wt.run_program(pfx, PKG + "\\setup.exe", cwd=PKG, version="win98", env=env, name=c["name"],
                               timeout=60, keep_running=True)
            wt.check_exit(r, 0)
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                events = read_log(pfx.host_path(log))
                if sum(1 for e in events if e["event"] == "end") >= c["opened"]:
                    break
                time.sleep(0.2)
            pfx._kill(pfx.leftovers())
            starts = [e for e in events if e["event"] == "start"]
            ends = [e for e in events if e["event"] == "end"]
            wt.check_eq(len(starts), c["opened"], "programs opened", r)
            # Programs opened without waiting start in no defined order.
            wt.check_eq(sorted(e["cwd"] for e in starts), sorted(c["cwds"]), "their working directories", r)
            if c["opened"] == 2:
                wt.check(max(e["tick"] for e in starts) < min(e["tick"] for e in ends),
                         "the second opened before the first ended", r)

        exec_cases = [
            dict(name="exec_opens_in_the_third_field_directory",
                 script="[Application]\nW98=ExecOne,End\n[ExecOne]\nprogram=[CWD]\\opened.exe,x,[CWD]\\work dir\n",
                 opened=1, cwds=[PKG + "\\work dir"]),
            dict(name="two_exec_entries_do_not_wait", sleep=4000,
                 script="[Application]\nW98=Exec1,Exec2\n[Exec1]\nprogram=[CWD]\\opened.exe,x,[CWD]\n"
                        "[Exec2]\nprogram=[CWD]\\opened.exe,,,x,,[CWD]\\work dir\n",
                 opened=2, cwds=[PKG, PKG + "\\work dir"]),
        ]

        def sequor_case(c):
            host = pfx.mkdir(PKG)
            for name in os.listdir(host):
                p = os.path.join(host, name)
                shutil.rmtree(p) if os.path.isdir(p) else os.remove(p)
            shutil.copy(shipped("Sequor.exe"), os.path.join(host, "Sequor.exe"))
            shutil.copy(os.path.join(pfx.doubles, "exitcode.exe"), os.path.join(host, "exitcode.exe"))
            pfx.write_file(PKG + "\\sequor95.ini", sequor_ini(c["items"]).replace("\n", "\r\n"))
            r = wt.run_program(pfx, PKG + "\\Sequor.exe", cwd=PKG, env={"EXITCODE_LOG": log},
                               answers=c.get("answers", []), name=c["name"], timeout=60)
            wt.check_exit(r, 0)
            wt.check_eq(messages(r), c["boxes"], "prompts", r)
            for b in r.boxes:
                wt.check_eq(wt.BUTTON_NAMES.get(b.get("default")), "Yes", "the prompt's default button", r)
            runs = read_log(pfx.host_path(log))
            wt.check_eq(len(runs), c["ran"], "programs run", r)
            for before, after in zip(runs, runs[1:]):
                wt.check(after["start"] >= before["end"], "each started after the previous one ended", r)
            if "cwds" in c:
                wt.check_eq([e["cwd"] for e in runs], c["cwds"], "working directories", r)
            wt.check(not r.left_running, "nothing left running", r)

        cases = [dict(c, kind="exec") for c in exec_cases] + [dict(c, kind="sequor") for c in SEQUOR_CASES]

        def case(c):
            if os.path.exists(pfx.host_path(log)):
                os.remove(pfx.host_path(log))
            (exec_case if c["kind"] == "exec" else sequor_case)(c)

        status = None
        try:
            wt.run_cases(cases, case, args.cases)
        except SystemExit as e:
            status = e.code
        if status == 0 and not args.cases:
            # Last, since it ends this prefix's Wine session: Yes restarts.
            c = dict(name="yes_requests_the_restart", items=[program(1) + ",null"], ran=1)
            sequor_case_yes(pfx, c, log)
        return status


# The calls Sequor makes for a Yes on the NT family, in Wine's relay trace.
SHUTDOWN_CALLS = ("OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges", "ExitWindowsEx")


def sequor_case_yes(pfx, c, log):
    pfx.write_file(PKG + "\\sequor95.ini", sequor_ini(c["items"]).replace("\n", "\r\n"))
    if os.path.exists(pfx.host_path(log)):
        os.remove(pfx.host_path(log))
    pfx.import_reg('[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\n"RelayInclude"="%s"\n'
                   % ";".join(["advapi32." + f for f in SHUTDOWN_CALLS[:3]] + ["user32.ExitWindowsEx"]))
    r = wt.run_program(pfx, PKG + "\\Sequor.exe", cwd=PKG, env={"EXITCODE_LOG": log, "WINEDEBUG": "+relay"},
                       answers=["Yes"], name=c["name"], version="nt40", timeout=60)
    # Wine ends the session on the request: the runner that watched Sequor
    # may go with it, so only what the user saw and the trace are certain.
    calls = [f for line in r.stderr.splitlines() for f in SHUTDOWN_CALLS if (":Call %s(" % f) in
             line.replace("advapi32.", "").replace("user32.", "")]
    ok = [b.text for b in r.boxes] == [RESTART[1]] and calls == list(SHUTDOWN_CALLS)
    print("%s %s: prompt %s, calls %s, runner status %s, exit code %s" % (
        "PASS" if ok else "FAIL", c["name"], [b.text for b in r.boxes], calls, r.status, r.exit_code))
    if not ok:
        sys.exit(1)


if __name__ == "__main__":
    sys.exit(main())
