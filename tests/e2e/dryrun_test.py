#!/usr/bin/env python3
"""The package tool's dry run against the real thing: for each package and PC,
`pkgtool run` on the simulated PC and the shipped setup.exe or Sequor.exe
under Wine must show the same message boxes, helper command lines, typed
paths, opened programs, started programs and exit codes.

The PC of each case is Wine's: no card on the PCI bus (every configuration
read gives all ones), the registry entries the case seeds, the version the
case names. One case differs on purpose: a script with a UTF-8 byte order
mark, which Wine decodes and Windows 98 reads as text; the dry run on 98
must refuse it and its note must say that Wine reads the file differently.
The double-byte cases run from a folder whose name has a second byte 0x5C
(ソ), on a Japanese Wine (code page 932) with Japanese messages: each box
must hold the bytes that `pkgtool run --codepage 932` predicts, and its
JSON the same text as Unicode. Boxes that the program's own quit message
closes are left out
of the comparison: whether the platform gets to draw them is a matter of
timing, and the dry run says so in its transcript.

usage: dryrun_test.py <pkgtool> [case-filter...]
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out, shipped  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tool"))
import schema_check  # noqa: E402

PKG = "C:\\pkg"
ENUM = "HKEY_LOCAL_MACHINE\\Enum\\PCI"
OSR21 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21"
MESSAGES = ("[Message]\nNotSupport=Not supported.\nDetectCard=No card.\nCheckPCIKey=Not detected yet.\n"
            "ShowUSBMsg=No USB supplement.\\n\\nOK to go on?\nShowMsgNT=Follow the applet.\nShowMsgDone=Done.\n")

def ansi(text):
    """Text as its bytes in code page 932, one str character a byte."""
    return text.encode("cp932").decode("latin-1")


# Wine takes its ANSI code page from the locale; ソ is 0x83 0x5C, 表 0x95 0x5C.
JAPANESE = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
SOFT = "C:\\ソフト"

CASES = [
    dict(name="w98_detect_check_usb_install_exec", os="win98",
         script="[Application]\nW98=DetectCard,CheckPCIKey,ShowUSBMsg,Install,ExecTool,ShowMsgDone\n"
                "[SubDir]\nW98=\\WIN98\n[DetectCard]\n1=4660,22136,PCI,1,0\n2=65535,65535,AGP,1,0\n"
                "[ExecTool]\nprogram=[CWD]\\opened.exe,x,[CWD]\\WIN98\n" + MESSAGES,
         enum=["VEN_FFFF&DEV_FFFF\\000800"], answers=["OK"], helper_exit=3, dirs=["WIN98"]),
    dict(name="w98_no_card", os="win98",
         script="[Application]\nW98=DetectCard,Install\n[DetectCard]\n1=4660,22136,PCI,1,0\n" + MESSAGES),
    dict(name="w95_not_in_registry", os="win95",
         script="[Application]\nW95A=DetectCard,CheckPCIKey,Install\n[DetectCard]\n1=65535,65535,PCI,0,0\n"
                + MESSAGES, enum=["VEN_FFFF&DEV_FFFF\\BUS_00&DEV_00&FUNC_00"]),
    dict(name="w98_usb_cancel", os="win98", answers=["Cancel"],
         script="[Application]\nW98=ShowUSBMsg,ShowMsgDone\n" + MESSAGES),
    dict(name="nt40_applet_chain", os="nt40", answers=["Wait:60000"],
         script="[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\NT40\n" + MESSAGES, dirs=["NT40"]),
    dict(name="nt351_not_supported", os="nt351",
         script="[Application]\nNT35X=Install,ShowMsgDone\n" + MESSAGES),
    dict(name="sequor_reboot_prompt", os="win98", program="sequor", answers=["No"],
         sequor="[ProcessList]\n1=[CWD]\\prog1.exe 1,[CWD]\n2=[CWD]\\prog2.exe 2,null\n3=[CWD]\\absent.exe,null\n",
         exits={"prog1.exe": 1, "prog2.exe": 2}),
    dict(name="cp932_setup_from_a_0x5c_folder", os="win98", where=SOFT, locale=JAPANESE,
         script="[Application]\nW98=DetectCard,ShowMsgDone\n[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\n"
                "DetectCard=" + ansi("対応する表示カードが見つかりません。\\nソフトを確認してください。") + "\n"),
    dict(name="cp932_sequor_runs_setup_from_a_0x5c_folder", os="win98", program="sequor", where=SOFT,
         locale=JAPANESE, answers=["OK", "No"], exits={"prog2.exe": 2},
         script="[Application]\nW98=ShowMsgDone\n[Message]\nShowMsgDone=" + ansi("表示ソフトの準備ができました。") + "\n",
         sequor="[ProcessList]\n1=[CWD]\\setup.exe,[CWD]\n2=[CWD]\\prog2.exe 2,null\n"),
    dict(name="w98_utf8_mark_wine_differs", os="win98", mark="\ufeff",
         script="[Application]\nW98=ShowMsgDone\n" + MESSAGES,
         wine_boxes=[("SETUP", "Done.", "OK")], dry_boxes=[("SETUP", "Not supported.", "OK")]),
]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def registry_text(case):
    lines = ["[-%s]" % ENUM, "[-%s]" % OSR21]
    lines += ["[%s\\%s]" % (ENUM, e) for e in case.get("enum", [])]
    return "\n".join(lines) + "\n"


def script_bytes(case):
    """SETUP.INI as the case writes it: CR LF lines, with the case's mark if any."""
    text = case.get("mark", "") + case["script"].replace("\n", "\r\n")
    return text.encode("utf-8" if "mark" in case else "latin-1")


def package_dir(case, tmp):
    """The package as files on the host, for the dry run."""
    d = os.path.join(tmp, case["name"])
    os.makedirs(d)
    if "script" in case:
        with open(os.path.join(d, "SETUP.INI"), "wb") as f:
            f.write(script_bytes(case))
    if "sequor" in case:
        with open(os.path.join(d, "sequor95.ini"), "w", newline="\r\n", encoding="latin-1") as f:
            f.write(case["sequor"])
    for sub in case.get("dirs", []):
        os.makedirs(os.path.join(d, sub))
    for name in ("opened.exe", "fitter16.exe", "prog1.exe", "prog2.exe"):
        open(os.path.join(d, name), "wb").close()
    if "setup.exe" in case.get("sequor", ""):  # the launcher's own code runs it
        open(os.path.join(d, "setup.exe"), "wb").close()
    return d


def dry_run(pkgtool, case, d):
    answers = [a for a in case.get("answers", []) if not a.lower().startswith("wait")]
    args = [pkgtool, "run", d, "--json", "--program", case.get("program", "setup"), "--dir", case.get("where", PKG),
            "--os", case["os"], "--no-card", "--helper-exit", str(case.get("helper_exit", 0))]
    for e in case.get("enum", []):
        args += ["--enum", e]
    if answers:
        args += ["--answer", ",".join(answers)]
    for name, code in case.get("exits", {}).items():
        args += ["--exit", "%s=%d" % (name, code)]
    if "locale" in case:
        args += ["--codepage", "932"]
    out = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if out.returncode not in (0, 1):  # 1: the run ended without installing the driver
        raise wt.HarnessError("pkgtool failed: %s" % out.stderr.decode(errors="replace"))
    t = json.loads(out.stdout)
    try:
        found = schema_check.problems(t)
    except ImportError:
        found = []  # no validator here; the tool tier says so
    if found:
        raise wt.HarnessError("pkgtool run's JSON against the schema: %s" % "; ".join(found))
    return t


def raw(e, key):
    """A step's text as the PC's bytes, one str character a byte, as Wine's side logs it."""
    return bytes.fromhex(e[key + "Bytes"]).decode("latin-1") if key + "Bytes" in e else e[key]


def steps(t):
    """The steps, those of each setup run inside a Sequor run in its place."""
    for e in t["steps"]:
        yield e
        if e["kind"] == "setup" and "run" in e:
            yield from steps(e["run"])


def from_dry_run(t):
    """What both sides can show, from the dry run's transcript."""
    seen = dict(boxes=[], helper=[], pasted=[], opened=[], started=[], exit_code=t["exitCode"])
    for e in steps(t):
        k = e["kind"]
        if k == "box" and not e["answer"].startswith("none"):
            seen["boxes"].append((raw(e, "caption"), raw(e, "text").replace("\r\n", "\n"), e["buttons"]))
            if "textBytes" in e:  # the JSON's Unicode is that text as the PC shows it
                shown = bytes.fromhex(e["textBytes"]).decode("cp932")
                if shown != e["text"]:
                    raise wt.HarnessError("box text %r is not its bytes in code page 932, %r" % (e["text"], shown))
        elif k == "started" and e["commandLine"].startswith("fitter16.exe"):
            seen["helper"].append(e["commandLine"])
        elif k == "started" and t["program"] == "Sequor" and e in t["steps"]:
            seen["started"].append((raw(e, "commandLine"), raw(e, "directory")))
        elif k == "applet" and e["what"].startswith("pasted "):
            seen["pasted"].append(e["what"][len("pasted "):])
        elif k == "opened":
            seen["opened"].append((os.path.basename(e["file"].replace("\\", "/")), e["directory"]))
    quit_closed = [raw(e, "text") for e in steps(t) if e["kind"] == "box" and e["answer"].startswith("none")]
    return seen, quit_closed


def main():
    args = wt.standard_args(__doc__)
    pkgtool = os.path.abspath(args.cases.pop(0)) if args.cases else None
    if not pkgtool or not os.path.isfile(pkgtool):
        print("usage: dryrun_test.py <pkgtool> [case-filter...]")
        return 1
    wt.require_tools()
    tmp = tempfile.mkdtemp(prefix="dryrun-")
    try:
        with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
            pfx.install_system_program("applet.exe", "rundll32.exe")

            def case(c):
                t = dry_run(pkgtool, c, package_dir(c, tmp))
                expected, quit_closed = from_dry_run(t)

                pfx.import_reg(registry_text(c))
                helper = wt.helper_double(c.get("helper_exit", 0))
                expected["helper"] = [wt.helper_command_line(h, helper) for h in expected["helper"]]
                doubles = [(helper, "fitter16.exe"), ("opened.exe", "opened.exe"),
                           ("exitcode.exe", "prog1.exe"),
                           ("exitcode.exe", "prog2.exe")]
                marked = "mark" in c
                where = c.get("where", PKG)
                pfx.mkdir(PKG)  # the doubles' logs stay there
                host = lay_out(pfx, where, None if marked else c.get("script"), doubles=doubles,
                               files={"SETUP.INI": script_bytes(c)} if marked else None)
                for sub in c.get("dirs", []):
                    os.makedirs(os.path.join(host, sub), exist_ok=True)
                exe = "setup.exe"
                if c.get("program") == "sequor":
                    exe = "Sequor.exe"
                    shutil.copy(shipped("Sequor.exe"), os.path.join(host, exe))
                    pfx.write_file(where + "\\sequor95.ini", c["sequor"].replace("\n", "\r\n"))
                logs = {k: PKG + "\\" + k + ".log" for k in ("helper", "applet", "opened", "programs")}
                for log in logs.values():  # a case run from elsewhere leaves C:\pkg as it was
                    if os.path.exists(pfx.host_path(log)):
                        os.remove(pfx.host_path(log))
                env = {"FITTER16_LOG": logs["helper"], "FITTER16_EXIT": str(c.get("helper_exit", 0)),
                       "APPLET_LOG": logs["applet"], "OPENED_LOG": logs["opened"], "EXITCODE_LOG": logs["programs"]}
                saved_env = dict(pfx.env)
                pfx.env.update(c.get("locale", {}))  # the user double reads the boxes in the same code page
                try:
                    # The runner's command line is the ANSI code page's bytes; its directory argument Unicode.
                    r = wt.run_program(pfx, ansi(where) + "\\" + exe, cwd=where, version=c["os"],
                                       answers=c.get("answers", []), env=env, name=c["name"], timeout=120,
                                       keep_running=True)
                finally:
                    pfx.env = saved_env
                # Programs opened without waiting write their line when they
                # get to it, in no defined order.
                opened_log = pfx.host_path(logs["opened"])
                deadline = wt.time.monotonic() + 60
                while wt.time.monotonic() < deadline and sum(
                        e["event"] == "start" for e in read_log(opened_log)) < len(expected["opened"]):
                    wt.time.sleep(0.2)
                pfx._kill(pfx.leftovers())
                # A box closed at once may flash up as a blank frame.
                closed = [q.replace("\r\n", "\n") for q in quit_closed]
                seen = dict(boxes=[(b.caption, b.text.replace("\r\n", "\n"), "/".join(b.button_names))
                                   for b in r.boxes if b.text.replace("\r\n", "\n") not in closed
                                   and not (closed and not b.caption and not b.text)],
                            helper=[e["cmdline"] for e in read_log(pfx.host_path(logs["helper"]))
                                    if e["event"] == "start"],
                            pasted=[e["text"] for e in read_log(pfx.host_path(logs["applet"]))
                                    if e["event"] == "pasted"],
                            opened=sorted((e["cmdline"].strip('"').split("\\")[-1].split('"')[0], e["cwd"])
                                          for e in read_log(opened_log) if e["event"] == "start"),
                            started=[(e["cmdline"], e["cwd"]) for e in read_log(pfx.host_path(logs["programs"]))],
                            exit_code=r.exit_code)
                # A program's own idea of its command line and directory is
                # what Sequor gave it; a "null" directory is Sequor's own.
                expected["opened"] = sorted(expected["opened"])
                # The shipped setup.exe logs no start of its own: its boxes say it ran.
                expected["started"] = [(cmd, d or ansi(where)) for cmd, d in expected["started"]
                                       if not cmd.lower().endswith("absent.exe") and "setup.exe" not in cmd.lower()]
                if "wine_boxes" in c:
                    wt.check_eq(seen["boxes"], c["wine_boxes"], "boxes under Wine", r)
                    wt.check_eq(expected["boxes"], c["dry_boxes"], "boxes of the dry run", r)
                    wt.check(any("Wine reads the file differently" in n for n in t["caveats"]),
                             "the dry run's caveats say that Wine reads the file differently: %s" % t["caveats"], r)
                    return
                for key in ("boxes", "helper", "pasted", "opened", "started", "exit_code"):
                    wt.check_eq(seen[key], expected[key], key + " (Wine, then the dry run)", r)

            return wt.run_cases(CASES, case, only=args.cases)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
