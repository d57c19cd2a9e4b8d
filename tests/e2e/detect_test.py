#!/usr/bin/env python3
"""Card detection and the USB supplement test of the shipped setup.exe under Wine.

Covers: CheckPCIKey against Wine's own registry seeded with `reg add`
(substring names, lower-case hexadecimal, a device without a matching
instance, no Enum\\PCI at all, the fixed message key); the USB test (OSR21
missing, DisplayName "USB..." and "usb...", 255 and more than 255 characters)
with ShowUSBMsg answered OK and Cancel; DetectCard in win98 mode, where Wine
emulates the port instructions and the bus reads all ones (65535,65535 finds
BUS_FF&DEV_1F&FUNC_00, shown by a CheckPCIKey after it; a real identifier
fails with its own message); DetectCard in nt40 mode, where port I/O would
fault, failing with its message and no crash. With WINETEST_BENCH=1, prints
the time of DetectCard with 1 and 10 entries and the benchmark below
(figures only, never checked).
Leaves out: real cards (Wine has none) and the Windows 95/98 install route.

usage: detect_test.py --doubles <built doubles> --win32-dir <win32 build> [case-filter...]
"""

import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "harness"))
import winetest as wt  # noqa: E402

ENUM = r"HKLM\Enum\PCI"
OSR21 = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OSR21"
ABSENT_KEY = "VEN_FFFF&DEV_FFFF"
ABSENT_AT = "BUS_FF&DEV_1F&FUNC_00"

MESSAGES = """[Message]
DetectCard=no card
DetectCard2=no card 2
CheckPCIKey=not in registry
CheckPCIKey2=wrong message key
ShowUSBMsg=no usb supplement
ShowMsg=reached
"""

OK_BOX = dict(caption="SETUP", buttons=["OK"], icon="exclamation")
ASK_BOX = dict(caption="SETUP", buttons=["OK", "Cancel"], icon="exclamation")


def box(base, text):
    d = dict(base)
    d["text"] = text
    return d


def script(version_key, commands, detect=None, section="DetectCard"):
    text = "[Application]\n%s=%s\n" % (version_key, commands)
    if detect is not None:
        text += "[%s]\n" % section
        text += "".join("%d=%s\n" % (i + 1, e) for i, e in enumerate(detect))
    return text + MESSAGES


def registry_text(case):
    """.reg text that removes both keys and writes what the case asks for."""
    hklm = "HKEY_LOCAL_MACHINE" + ENUM[4:]
    usb = "HKEY_LOCAL_MACHINE" + OSR21[4:]
    lines = ["[-%s]" % hklm, "[-%s]" % usb]
    for device, instances in (case.get("enum") or {}).items():
        lines.append("[%s\\%s]" % (hklm, device))
        lines += ["[%s\\%s\\%s]" % (hklm, device, inst) for inst in instances]
    if case.get("enum") is not None and not case["enum"]:
        lines.append("[%s]" % hklm)
    if case.get("usb") is not None:
        value = case["usb"].replace("\\", "\\\\").replace('"', '\\"')
        lines += ["[%s]" % usb, '"DisplayName"="%s"' % value]
    return "\n".join(lines) + "\n"


FOUND = [box(OK_BOX, "reached")]
NOT_IN_REGISTRY = [box(OK_BOX, "not in registry")]

CASES = [
    # CheckPCIKey after a DetectCard that found the all-ones function.
    dict(name="check_substring_of_device_and_instance", version="win98",
         list="DetectCard,CheckPCIKey2,ShowMsg", detect=["65535,65535,PCI,1,0"],
         enum={ABSENT_KEY + "&SUBSYS_00000000&REV_00": ["X" + ABSENT_AT + "Y"]}, boxes=FOUND),
    dict(name="check_lower_case_hex_never_matches", version="win98",
         list="DetectCard,CheckPCIKey2,ShowMsg", detect=["65535,65535,PCI,1,0"],
         enum={"VEN_ffff&DEV_ffff": [ABSENT_AT], "VEN_FFFF&DEV_FFFF": ["bus_ff&dev_1f&func_00"]},
         boxes=NOT_IN_REGISTRY),
    dict(name="check_device_without_matching_instance", version="win98",
         list="DetectCard,CheckPCIKey,ShowMsg", detect=["65535,65535,PCI,1,0"],
         enum={ABSENT_KEY: ["BUS_00&DEV_00&FUNC_00"], "VEN_1234&DEV_5678": [ABSENT_AT]},
         boxes=NOT_IN_REGISTRY),
    dict(name="check_later_device_holds_the_instance", version="win98",
         list="DetectCard,CheckPCIKey,ShowMsg", detect=["65535,65535,PCI,1,0"],
         enum={ABSENT_KEY: ["BUS_00&DEV_00&FUNC_00"], ABSENT_KEY + "&REV_01": [ABSENT_AT]},
         boxes=FOUND),
    dict(name="check_agp_location", version="win98",
         list="DetectCard,CheckPCIKey,ShowMsg", detect=["65535,65535,agp,1,0"],
         enum={ABSENT_KEY: ["000800"]}, boxes=FOUND),
    dict(name="check_without_enum_pci", version="win98",
         list="DetectCard,CheckPCIKey,ShowMsg", detect=["65535,65535,PCI,1,0"],
         enum=None, boxes=NOT_IN_REGISTRY),
    # DetectCard itself.
    dict(name="detect_real_id_fails_with_its_token", version="win98",
         list="DetectCard2,ShowMsg", detect=["4660,22136,PCI,1,0"], section="DetectCard2",
         boxes=[box(OK_BOX, "no card 2")]),
    dict(name="detect_second_entry_after_a_miss", version="win98",
         list="DetectCard,CheckPCIKey,ShowMsg", detect=["4660,22136,PCI,0,0", "65535,65535,PCI,1,0"],
         enum={ABSENT_KEY: [ABSENT_AT]}, boxes=FOUND),
    dict(name="detect_nt40_fails_without_port_io", version="nt40", key="NT40",
         list="DetectCard,ShowMsg", detect=["65535,65535,PCI,1,0"],
         boxes=[box(OK_BOX, "no card")]),
    # The USB supplement test, at start-up, on any version.
    dict(name="usb_missing_ok_goes_on", version="nt40", key="NT40", list="ShowUSBMsg,ShowMsg",
         usb=None, answers=["OK", "OK"], boxes=[box(ASK_BOX, "no usb supplement"), FOUND[0]]),
    dict(name="usb_missing_cancel_stops", version="win98", list="ShowUSBMsg,ShowMsg",
         usb=None, answers=["Cancel"], boxes=[box(ASK_BOX, "no usb supplement")]),
    dict(name="usb_present_is_silent", version="win98", list="ShowUSBMsg,ShowMsg",
         usb="USB Supplement to OSR2", boxes=FOUND),
    dict(name="usb_lower_case_is_not_it", version="nt40", key="NT40", list="ShowUSBMsg,ShowMsg",
         usb="usb supplement", answers=["OK", "OK"], boxes=[box(ASK_BOX, "no usb supplement"), FOUND[0]]),
    dict(name="usb_255_characters_fit", version="win98", list="ShowUSBMsg,ShowMsg",
         usb="USB" + "x" * 252, boxes=FOUND),
    dict(name="usb_over_255_characters_does_not_fit", version="win98", list="ShowUSBMsg,ShowMsg",
         usb="USB" + "x" * 253, answers=["OK", "OK"], boxes=[box(ASK_BOX, "no usb supplement"), FOUND[0]]),
]
# Figures only, on request (WINETEST_BENCH=1): one scan per command, whatever
# the number of entries. Each emulated scan costs the tier a quarter minute.
if os.environ.get("WINETEST_BENCH"):
    CASES += [
        dict(name="timing_one_entry", version="win98", list="DetectCard,ShowMsg",
             detect=["65535,65535,PCI,1,0"], boxes=FOUND, timing=1),
        dict(name="timing_ten_entries", version="win98", list="DetectCard,ShowMsg",
             detect=["%d,1,PCI,0,0" % (i + 1) for i in range(9)] + ["65535,65535,PCI,1,0"], boxes=FOUND,
             timing=10),
    ]


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    if not args.doubles or not args.win32_dir:
        print("FAIL: --doubles and --win32-dir are needed")
        return 1
    setup_exe = os.path.join(os.path.abspath(args.win32_dir), "setup", "setup.exe")
    if not os.path.isfile(setup_exe):
        print("FAIL: %s missing" % setup_exe)
        return 1
    timings = {}

    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=os.path.abspath(args.doubles),
                                       keep=args.keep) as pfx:
        print("prefix ready in %.1f s on display %s" % (pfx.boot_seconds, x.display), flush=True)
        pfx.mkdir("C:\\pkg")
        shutil.copy(setup_exe, pfx.host_path("C:\\pkg\\setup.exe"))

        def case(c):
            # The registry as the case wants it; Wine keeps it between runs.
            # One import per case: each Wine process costs seconds here.
            pfx.import_reg(registry_text(c))
            work = "C:\\pkg\\" + c["name"]
            pfx.write_file(work + "\\SETUP.INI",
                           script(c.get("key", "W98"), c["list"], c.get("detect"), c.get("section", "DetectCard")))
            r = wt.run_program(pfx, "C:\\pkg\\setup.exe", cwd=work, answers=c.get("answers", []),
                               version=c["version"], timeout=90, name=c["name"])
            # Exit code 0: neither a crash (a privileged instruction would end
            # the process with its exception code) nor anything else.
            wt.check_exit(r, 0)
            wt.check_boxes(r, c["boxes"])
            wt.check(not r.user_errors, "user.exe reported no error", r)
            if "timing" in c:
                timings[c["timing"]] = r.wall_ms

        status = None
        try:
            wt.run_cases(CASES, case, args.cases)
        except SystemExit as e:
            status = e.code
        for n in sorted(timings):
            print("DetectCard with %d entr%s under Wine (win98, emulated ports): %d ms wall"
                  % (n, "y" if n == 1 else "ies", timings[n]), flush=True)
        if os.environ.get("WINETEST_BENCH") and not args.cases:
            bench(pfx, os.path.dirname(setup_exe))
        return status


def bench(pfx, setup_dir):
    """DetectCard under Wine, the card behind the last entry: the shipped
    launcher (one scan per command) beside a build that scans per entry.
    Slow where Wine runs emulated, so only on request (WINETEST_BENCH=1)."""
    print("DetectCard under Wine (win98), wall ms of the whole run | entries: shipped, per-entry", flush=True)
    for exe in ("setup.exe", "setup_perentry.exe"):
        shutil.copy(os.path.join(setup_dir, exe), pfx.host_path("C:\\pkg\\" + exe))
    pfx.import_reg("[-HKEY_LOCAL_MACHINE\\Enum\\PCI]\n")
    for n in (0, 1, 2, 5, 10):
        work = "C:\\pkg\\bench%d" % n
        detect = ["%d,1,PCI,0,0" % (i + 1) for i in range(n - 1)] + ["65535,65535,PCI,1,0"] if n else []
        pfx.write_file(work + "\\SETUP.INI", script("W98", "DetectCard,ShowMsg" if n else "ShowMsg", detect))
        walls = []
        for exe in ("setup.exe", "setup_perentry.exe"):
            r = wt.run_program(pfx, "C:\\pkg\\" + exe, cwd=work, version="win98", timeout=900, name="bench")
            walls.append(r.wall_ms if r.status == "exited" else -1)
        print("%3d entries: %8d ms  %8d ms" % (n, walls[0], walls[1]), flush=True)


if __name__ == "__main__":
    sys.exit(main())
