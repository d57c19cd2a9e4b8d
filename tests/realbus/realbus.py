#!/usr/bin/env python3
"""The realbus tier: DetectCard of the shipped setup.exe on PCI buses that
qemu builds, checked against the guest kernel's own enumeration.

Boots one Linux guest per machine (qemu-system-x86_64: the i440FX and Q35
chipsets with period display cards, bridges and a multi-function slot).
The guest's root is this machine's, read-only over 9p, with tmpfs over
/tmp, /run and /root; a second, writable share brings in the binaries and
the cases and takes the results out. In the guest, guest.py runs setup.exe
under Wine in Windows 98 mode through portwine, which grants the PCI
configuration ports, so the port instructions reach qemu's host bridge.

Each case's expectation is derived from /sys/bus/pci/devices in the same
guest by the launcher's rule: of the first DetectCard entry present on the
bus, the last device in scan order and its lowest matching function. The
identity is read from the install helper's command line. A control runs
without the grant, where Wine emulates the ports and finds no card.

Leaves out: AGP entries and the NT routes (the Wine tier has them).

The CD cases put disc images in the i440FX's IDE CD-ROM drives: the
example package's, written by `pkgtool cd --autorun`, and one whose
AUTORUN.INF lacks the argument text for its package's folder. The guest
kernel mounts each (its own ISO 9660 and Joliet reading), Wine maps the
mount as drive D:, a CD-ROM drive, and setup.exe starts as AutoRun starts
it. Their expectation is what `pkgtool run` predicts for the same image,
extracted by xorriso, on the guest's bus and registry.

usage: realbus.py --win32-dir DIR --portwine FILE --pkgtool FILE --work DIR [--only NAME] MACHINE...
       realbus.py --win32-dir DIR --portwine FILE --pkgtool FILE --work DIR --demo
Exit status 77 (skipped) where qemu, the guest kernel, busybox, Wine or Xvfb
is missing.
"""

import argparse
import configparser
import ctypes
import filecmp
import hashlib
import json
import os
import re
import select
import shutil
import signal
import stat
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
HARNESS = os.path.join(os.path.dirname(HERE), "e2e", "harness", "winetest.py")
QEMU = os.environ.get("REALBUS_QEMU", "qemu-system-x86_64")
KERNEL_DIR = os.environ.get("REALBUS_KERNEL", "/opt/realbus-kernel")
BUSYBOX = "/bin/busybox"
WINE_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"
# No modules.dep in the kernel package: the order that satisfies each
# module's symbols.
# Then, from cd/, the CD-ROM drive (the i440FX's PIIX IDE) and ISO 9660 with Joliet.
MODULES = ("virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci "
           "9pnet 9pnet_virtio netfs fscache 9p").split() + [
    "cd/" + m for m in "scsi_common scsi_mod libata ata_piix cdrom sr_mod isofs".split()]
SKIP = 77
BOOT_LIMIT = 1500  # seconds for one guest, boot to power-off
FIRST_WORD_LIMIT = 300  # seconds from qemu's start to the initramfs's first line
TCG = ["-accel", "tcg,thread=multi", "-cpu", "max,-smap"]

# ---------------------------------------------------------------- machines

# The 9p devices sit at fixed slots so that they never move a card.
SHARES = ["-fsdev", "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap",
          "-device", "virtio-9p-pci,fsdev=root,mount_tag=root,addr=0x18",
          "-fsdev", "local,id=work,path={share},security_model=none,multidevs=remap",
          "-device", "virtio-9p-pci,fsdev=work,mount_tag=work,addr=0x19"]

MACHINES = {
    # i440FX: two identical Cirrus cards on bus 0; a Rage 128 Pro on bus 0
    # and its twin two bridges down; a Radeon 7000 behind the first bridge.
    "pc": ["-M", "pc",
           "-device", "cirrus-vga,addr=0x02",
           "-device", "VGA,addr=0x03",
           "-device", "ati-vga,model=rage128p,addr=0x04",
           "-device", "pci-bridge,id=br1,chassis_nr=1,addr=0x05",
           "-device", "ati-vga,model=rv100,bus=br1,addr=0x01",
           "-device", "pci-bridge,id=br2,chassis_nr=2,bus=br1,addr=0x02",
           "-device", "ati-vga,model=rage128p,bus=br2,addr=0x03",
           "-device", "cirrus-vga,addr=0x06"],
    # Q35: a multi-function slot (a Cirrus card as function 0, two
    # secondary VGAs as functions 3 and 5) after a lone secondary VGA;
    # a Rage 128 Pro behind a PCIe root port and a PCIe-to-PCI bridge.
    "q35": ["-M", "q35",
            "-device", "ati-vga,model=rv100,addr=0x02",
            "-device", "secondary-vga,addr=0x03",
            "-device", "cirrus-vga,addr=0x04.0,multifunction=on",
            "-device", "secondary-vga,addr=0x04.3",
            "-device", "secondary-vga,addr=0x04.5",
            "-device", "pcie-root-port,id=rp1,chassis=1,addr=0x05",
            "-device", "pcie-pci-bridge,id=pb1,bus=rp1",
            "-device", "ati-vga,model=rage128p,bus=pb1,addr=0x01"],
}

# ---------------------------------------------------------------- cases

CIRRUS, VGA, RAGE128P, RV100 = "4115,184", "4660,4369", "4098,20550", "4098,20825"
ABSENT1, ABSENT2 = "4660,22136", "4660,22137"
MESSAGES = {"DetectCard": "No supported display card was found.",
            "CheckPCIKey": "Windows has not yet detected the display card.",
            "ShowMsg": "The walk went on."}

# outcome: "helper" (started with the identity the rule gives, its exit
# code handed on), the [Message] key of the one box that stops the walk, or
# None (no box, no helper).
# at: where the rule must land on this machine's layout, so a case keeps
# showing what its name says.
CASES = [
    dict(machine="pc", name="pc_cirrus_two_identical_later_wins", entries=[CIRRUS], at="00:06.0"),
    dict(machine="pc", name="pc_vga", entries=[VGA], at="00:03.0"),
    dict(machine="pc", name="pc_rv100_behind_bridge", entries=[RV100], at="01:01.0", flag="0"),
    dict(machine="pc", name="pc_rage128p_two_bridges_down_wins", entries=[RAGE128P], at="02:03.0"),
    dict(machine="pc", name="pc_first_listed_present_entry_wins", entries=[ABSENT1, RV100, CIRRUS], at="01:01.0"),
    dict(machine="pc", name="pc_all_absent_stops_the_walk", entries=[ABSENT1, ABSENT2],
         commands="DetectCard,ShowMsg,Install,End", outcome="DetectCard"),
    dict(machine="pc", name="pc_checkpcikey_win98_registry", entries=[RAGE128P], at="02:03.0",
         commands="DetectCard,CheckPCIKey,Install,End", enum=[]),
    dict(machine="pc", name="pc_checkpcikey_card_not_enumerated", entries=[RAGE128P],
         commands="DetectCard,CheckPCIKey,Install,End", enum=["1002:5046"], outcome="CheckPCIKey"),
    dict(machine="pc", name="pc_control_without_port_grant", entries=[VGA], grant=False, outcome="DetectCard"),
    # From the CD in D:, as pkgtool run predicts for the same image and bus.
    dict(machine="pc", name="pc_cd_example_autorun", cd="EXAMPLE", outcome="predicted"),
    dict(machine="pc", name="pc_cd_package_in_folder_without_argument_text", cd="NOARGS", outcome="predicted"),
    dict(machine="pc", name="pc_cd_sequor_runs_setup_by_cwd", cd="EXAMPLE", program="sequor", outcome="predicted"),
    dict(machine="q35", name="q35_rv100", entries=[RV100], at="00:02.0"),
    dict(machine="q35", name="q35_secondary_vga_multifunction_lowest_function", entries=[VGA], at="00:04.3"),
    dict(machine="q35", name="q35_cirrus_function_0_of_multifunction", entries=[CIRRUS], at="00:04.0"),
    dict(machine="q35", name="q35_rage128p_behind_root_port_and_bridge", entries=[RAGE128P], at="02:01.0"),
    dict(machine="q35", name="q35_checkpcikey_win98_registry", entries=[ABSENT1, VGA], at="00:04.3",
         commands="DetectCard,CheckPCIKey,Install,End", enum=[]),
]
# Figures only, on request (REALBUS_TIMING=1): the same run with and without
# the scan; the launcher's CPU share while the helper takes 10 s to show its
# window, shipped and with a scan that never pauses.
if os.environ.get("REALBUS_TIMING"):
    CASES += [dict(machine="pc", name="pc_timing_with_scan", entries=[VGA], commands="DetectCard,End", outcome=None),
              dict(machine="pc", name="pc_timing_without_scan", entries=[VGA], commands="End", outcome=None)]
    CASES += [dict(machine="pc", name="pc_timing_wait_share" + tag, exe=exe, entries=[VGA], commands="Install,End",
                   outcome="figure", share=True, helper_show_ms=10000)
              for tag, exe in (("", "setup.exe"), ("_spinning", "setup_spin.exe"))]
# The helper stand-in ends with HELPER_EXIT; Wine ends a 16-bit program's
# process with 0 whatever the program's own (winetest.helper_double), so 0
# is what the launcher gets and hands on here.
HELPER_EXIT = 3
LAUNCHER_EXIT = 0


def setup_ini(case):
    entries = "".join("%d=%s,PCI,%s,0\n" % (i + 1, e, case.get("flag", "1"))
                      for i, e in enumerate(case["entries"]))
    return ("[Application]\nW98=%s\n[SubDir]\nW98=\\WIN98\n[DetectCard]\n%s[Message]\n%s" % (
        case.get("commands", "DetectCard,Install,End"), entries,
        "".join("%s=%s\n" % kv for kv in MESSAGES.items())))


def guest_case(case, cds=None):
    if case.get("cd"):
        return dict(name=case["name"], files={}, grant=True, enum=[], helper_exit=HELPER_EXIT, cd=case["cd"],
                    start=cd_start(case, cds[case["cd"]]), timeout=300)
    return dict(name=case["name"], files={"SETUP.INI": setup_ini(case)}, grant=case.get("grant", True),
                enum=case.get("enum"), helper_exit=HELPER_EXIT, exe=case.get("exe", "setup.exe"),
                share=case.get("share", False), helper_show_ms=case.get("helper_show_ms"),
                timeout=300 if case.get("grant", True) else 600)


# ---------------------------------------------------------------- CDs

EXAMPLE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "examples", "package")
SOURCE_DATE_EPOCH = "1700000000"
# Each disc by its volume label: the folder of the package on it (None: the
# root) and its AUTORUN.INF (None: pkgtool cd --autorun writes it).
CDS = {
    "EXAMPLE": dict(folder=None, autorun=None, check_errors=[]),
    # The argument text its folder needs is missing; pkgtool cd refuses to
    # write such a disc, so xorriso does, as another author's tool would.
    "NOARGS": dict(folder="DRIVERS", autorun="[autorun]\r\nopen=DRIVERS\\SETUP.EXE\r\n",
                   check_errors=["autorun-no-script"]),
}


def stage_package(dest, win32):
    """The example package with the programs a disc of it holds: setup.exe,
    Sequor.exe and the install helper (its stand-in)."""
    shutil.copytree(EXAMPLE, dest)
    for src in (os.path.join(win32, "setup", "setup.exe"), os.path.join(win32, "sequor", "Sequor.exe")):
        shutil.copy2(src, dest)  # with their times: the same build gives the same image
    shutil.copy2(os.path.join(win32, "tests", "e2e", "doubles", "fitter16.exe"), dest)


def make_cd(label, work, win32, pkgtool):
    """Writes one disc; returns its image, its tree as xorriso extracts it
    (the same Joliet names Windows reads) and the writer's report."""
    spec, base = CDS[label], os.path.join(work, "cd-" + label.lower())
    for old in (base, base + "-tree"):
        if os.path.exists(old):
            subprocess.run(["chmod", "-R", "u+w", old], check=True)
            shutil.rmtree(old)
    stage, image = os.path.join(base, "stage"), base + ".iso"
    stage_package(os.path.join(stage, spec["folder"]) if spec["folder"] else stage, win32)
    if spec["autorun"] is None:
        cmd = [pkgtool, "cd", stage, "-o", image, "--autorun", "--label", label]
    else:
        with open(os.path.join(stage, "AUTORUN.INF"), "w", newline="") as f:
            f.write(spec["autorun"])
        cmd = ["xorriso", "-as", "mkisofs", "-quiet", "-iso-level", "1", "-J", "-V", label, "-o", image, stage]
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300,
                         env=dict(os.environ, SOURCE_DATE_EPOCH=SOURCE_DATE_EPOCH))
    if out.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (" ".join(cmd), out.stdout.decode(errors="replace")))
    subprocess.run(["xorriso", "-osirrox", "on", "-indev", image, "-extract", "/", base + "-tree"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=300)
    return dict(label=label, image=image, tree=base + "-tree", report=out.stdout.decode(errors="replace"))


def isoinfo_names(image):
    """The disc's names as isoinfo reads them: ISO 9660 as recorded and
    Joliet without its version suffix, as the guest kernel shows them."""
    names = {}
    for tree, flags in (("iso", []), ("joliet", ["-J"])):
        out = subprocess.run(["isoinfo", "-f", "-i", image] + flags, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60, check=True).stdout.decode("utf-8", "replace")
        paths = [p.lstrip("/") for p in out.split("\n") if p.strip()]
        names[tree] = sorted(re.sub(r";1$", "", p) if tree == "joliet" else p for p in paths)
    return names


def cd_start(case, cd):
    """The Windows command line the case starts with, from the CD's root:
    Sequor in the root, or the program and argument text of open=."""
    if case.get("program") == "sequor":
        return dict(exe="D:\\Sequor.exe", args="", cwd="D:\\")
    ini = configparser.ConfigParser(interpolation=None, strict=False)
    ini.read(os.path.join(cd["tree"], "AUTORUN.INF"), encoding="latin-1")
    line = ini["autorun"]["open"].strip()
    program, _, args = line.partition(" ")
    return dict(exe="D:\\" + program.lstrip("\\"), args=args.lstrip(), cwd="D:\\")


def predict(case, cd, functions, got, pkgtool, work):
    """pkgtool run on the extracted disc with the guest's bus and registry."""
    lspci, reg = os.path.join(work, "lspci-%s.txt" % case["name"]), os.path.join(work, "%s.reg" % case["name"])
    with open(lspci, "w") as f:
        f.write("".join("%02x:%02x.%d 0300: %04x:%04x\n" % (x["bus"], x["dev"], x["fn"], x["vendor"], x["device"])
                        for x in functions))
    with open(reg, "w") as f:
        f.write("REGEDIT4\n\n" + "".join(l + "\n" for l in (got.get("enum_reg") or "").splitlines()
                                          if not l.startswith("[-")))
    runs = {}
    for program in ["setup"] + (["sequor"] if case.get("program") == "sequor" else []):
        out = subprocess.run([pkgtool, "run", cd["tree"], "--json", "--program", program, "--lspci", lspci,
                              "--registry", reg, "--helper-exit", str(LAUNCHER_EXIT)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if out.returncode not in (0, 1):  # 1: the run ended without installing the driver
            raise RuntimeError("pkgtool run failed: %s" % out.stderr.decode(errors="replace"))
        runs[program] = json.loads(out.stdout)
    out = subprocess.run([pkgtool, "check", cd["tree"], "--json"], stdout=subprocess.PIPE, timeout=60)
    runs["check"] = json.loads(out.stdout)
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tool"))
    import schema_check
    for name, doc in runs.items():
        try:
            found = schema_check.problems(doc)
        except ImportError:
            found = []  # no validator here; the tool tier says so
        if found:
            raise RuntimeError("pkgtool %s's JSON against the schema: %s" % (name, "; ".join(found)))
    return runs


def seen_in(t):
    """What a run shows from its transcript: boxes (those the program's own
    quit closes left out), helper command lines, started programs, exit code."""
    ev = t["steps"]
    return dict(boxes=[dict(caption=e["caption"], text=e["text"].replace("\r\n", "\n")) for e in ev
                       if e["kind"] == "box" and not e["answer"].startswith("none")],
                helper=[e["commandLine"] for e in ev if e["kind"] == "started" and
                        e["commandLine"].startswith("fitter16.exe")],
                started=[(e["commandLine"], e["directory"]) for e in ev if e["kind"] == "started"],
                exit_code=t["exitCode"])


def check_cd_case(case, runs, got):
    """A CD case against pkgtool run's prediction for the same disc and bus."""
    setup = seen_in(runs["setup"])
    starts = [e["cmdline"] for e in got["helper"] if e["event"] == "start"]
    problems = []
    if got.get("drive_type") != "5":
        problems.append("D: is no CD-ROM drive to Windows: GetDriveTypeA gave %r" % got.get("drive_type"))
    if not int(got.get("program_attributes") or "0", 16) & 1:
        problems.append("the program on the CD is not read-only: attributes %r" % got.get("program_attributes"))
    if case.get("program") == "sequor":
        # Sequor starts setup.exe from [CWD]; that setup runs as the
        # prediction of the same disc started in its root says.
        seq = seen_in(runs["sequor"])
        if [(c.replace('"', ""), d) for c, d in seq["started"]] != [("D:\\setup.exe", "D:")]:
            problems.append("pkgtool run predicts Sequor to start %r, not D:\\setup.exe in D:" % seq["started"])
        want = dict(boxes=seq["boxes"], helper=setup["helper"], exit_code=seq["exit_code"])
    else:
        want = dict(boxes=setup["boxes"], helper=setup["helper"], exit_code=setup["exit_code"])
    errors = sorted(f["code"] for f in runs["check"]["findings"] if f["severity"] == "error")
    if errors != CDS[case["cd"]]["check_errors"]:
        problems.append("pkgtool check of the disc: errors %r, the case is built for %r" % (
            errors, CDS[case["cd"]]["check_errors"]))
    have = dict(boxes=got["boxes"], helper=starts, exit_code=got["exit_code"])
    for k in ("boxes", "helper", "exit_code"):
        if have[k] != want[k]:
            problems.append("%s: pkgtool run predicts %r, the guest showed %r" % (k, want[k], have[k]))
    if starts:
        problems += helper_problems(got)
    return problems


def check_cd_names(cd, read):
    """The guest kernel's names of a disc against isoinfo's, and the names
    pkgtool cd reported against both trees."""
    problems = []
    if not read:
        return ["the guest found no disc labelled %s" % cd["label"]]
    other = isoinfo_names(cd["image"])
    for tree in ("iso", "joliet"):
        if read[tree] != other[tree]:
            problems.append("%s names: the guest kernel reads %r, isoinfo %r" % (tree, read[tree], other[tree]))
    for line in cd["report"].split("Names on the disc")[-1].splitlines()[1:]:
        m = re.match(r"^  (\S+) +(\S+)$", line)
        if not m:
            break
        joliet, iso = (x.replace("\\", "/") for x in m.groups())
        if joliet not in read["joliet"] or iso not in [p.replace(";1", "") for p in read["iso"]]:
            problems.append("pkgtool cd reports %s (Joliet) and %s (ISO 9660), which the guest does not read" %
                            (joliet, iso))
    return problems


def expected_card(functions, entries):
    """(vendor, device, bus, dev, fn) that DetectCard must record, or None:
    the first entry found on the bus; its last device in scan order; that
    device's lowest matching function."""
    order = sorted(functions, key=lambda f: (f["bus"], f["dev"], f["fn"]))
    for entry in entries:
        vendor, device = (int(x) & 0xFFFF for x in entry.split(",")[:2])
        hits = [f for f in order if (f["vendor"], f["device"]) == (vendor, device)]
        if hits:
            last = [f for f in hits if (f["bus"], f["dev"]) == (hits[-1]["bus"], hits[-1]["dev"])][0]
            return vendor, device, last["bus"], last["dev"], last["fn"]
    return None


def helper_problems(got):
    """The 16-bit stand-in's own log: clicked once, ended with HELPER_EXIT;
    the launcher's exit code what Wine gives for its process."""
    problems = []
    events = [e["event"] for e in got["helper"]]
    if events.count("clicked") != 1:
        problems.append("helper: expected one click on its control 1, its log says %r" % events)
    ends = [e.get("code") for e in got["helper"] if e["event"] == "end"]
    if ends != [HELPER_EXIT]:
        problems.append("helper: expected it to end with %d, its log says %r" % (HELPER_EXIT, ends))
    if got["exit_code"] != LAUNCHER_EXIT:
        problems.append("exit code: expected %d, what Wine reports for the 16-bit helper's process, got %r"
                        % (LAUNCHER_EXIT, got["exit_code"]))
    return problems


def check_case(case, functions, got):
    """Problems with one case's run, as a list of texts (empty: it passed)."""
    if got is None:
        return ["no result: the guest did not run the case"]
    problems = []
    if got["status"] != "exited":
        problems.append("setup.exe status %s" % got["status"])
    outcome = case.get("outcome", "helper")
    starts = [e["cmdline"] for e in got["helper"] if e["event"] == "start"]
    if outcome == "figure":
        if (got.get("share") or {}).get("cpu") is None:
            problems.append("no figure: %r" % got.get("share"))
    elif outcome == "helper":
        card = expected_card(functions, case["entries"])
        if card is None:
            return ["the guest kernel enumerates none of the entries' cards"]
        where = "%02x:%02x.%d" % card[2:]
        if case.get("at") and where != case["at"]:
            problems.append("layout: the rule lands on %s, the case is built for %s" % (where, case["at"]))
        want = "fitter16.exe Enum\\PCI\\VEN_%04X&DEV_%04X BUS_%02X&DEV_%02X&FUNC_%02X C:\\pkg\\%s\\WIN98 %s" % (
            card + (case["name"], case.get("flag", "1")))
        if starts != [want]:
            problems.append("helper command line: expected %r, got %r" % (want, starts))
        if got["boxes"]:
            problems.append("boxes: expected none, got %r" % got["boxes"])
        problems += helper_problems(got)
    else:
        want_box = [dict(caption="SETUP", text=MESSAGES[outcome])] if outcome else []
        if got["boxes"] != want_box:
            problems.append("boxes: expected %r, got %r" % (want_box, got["boxes"]))
        if starts:
            problems.append("helper started: %r" % starts)
        if got["exit_code"] != 0:
            problems.append("exit code: expected 0, got %r" % got["exit_code"])
    if got["user_errors"]:
        problems.append("user.exe: %s" % "; ".join(got["user_errors"]))
    return problems


# ---------------------------------------------------------------- guest

def unusable_reason():
    if shutil.which(QEMU) is None:
        return "%s not found (package qemu-system-x86)" % QEMU
    missing = [p for p in [os.path.join(KERNEL_DIR, "vmlinuz")] +
               [os.path.join(KERNEL_DIR, m + ".ko") for m in MODULES] +
               [BUSYBOX, "/usr/lib/wine/wine", "/usr/bin/Xvfb", "/usr/bin/xorriso", "/usr/bin/isoinfo"]
               if not os.path.isfile(p)]
    if missing:
        return "missing %s (scripts/install-deps.sh installs them)" % ", ".join(missing)
    try:
        subprocess.run([QEMU, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30, check=True)
    except (OSError, subprocess.SubprocessError) as e:
        return "%s cannot run here: %s" % (QEMU, e)
    return None


def accelerator():
    """KVM only where it is the real kind (the CPU shows vmx or svm); the
    paravirtual kind cannot boot a stock kernel. Else TCG: without SMAP,
    which the guest would trip over on the iret of Wine's 32-bit context."""
    try:
        flags = open("/proc/cpuinfo").read()
        if os.access("/dev/kvm", os.R_OK | os.W_OK) and re.search(r"^flags\s*:.*\b(vmx|svm)\b", flags, re.M):
            return ["-accel", "kvm", "-cpu", "host"]
    except OSError:
        pass
    return TCG


INIT = """#!/bin/busybox sh
# binfmt_misc stays unmounted: this kernel runs Wine's 32-bit loader itself.
/bin/busybox --install -s /bin
export PATH=/bin
say() { echo "realbus: [init] $*"; }
die() { say "$*"; poweroff -f; }
mount -t proc proc /proc && mount -t sysfs sysfs /sys && mount -t devtmpfs devtmpfs /dev || die "no /proc"
for m in %(modules)s; do insmod /lib/modules/$m.ko || die "insmod $m failed"; done
o=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o $o,ro root /newroot || die "cannot mount the root share"
for d in tmp run root; do mount -t tmpfs tmpfs /newroot/$d; done
mount -t proc proc /newroot/proc && mount -t sysfs sysfs /newroot/sys && mount -t devtmpfs devtmpfs /newroot/dev
mkdir -p /newroot/dev/shm /newroot/dev/pts /newroot/tmp/realbus
mount -t tmpfs tmpfs /newroot/dev/shm && mount -t devpts devpts /newroot/dev/pts
mount -t 9p -o $o work /newroot/tmp/realbus || die "cannot mount the work share"
say "root and work share mounted"
chroot /newroot /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 \\
    /usr/bin/python3 /tmp/realbus/guest.py /tmp/realbus
say "guest script ended ($?)"
sync
poweroff -f
"""


def write_initramfs(path):
    """A newc cpio: busybox, /init, the modules and a console node."""
    out = open(path, "wb")
    ino = [0]

    def entry(name, mode, data=b"", rdev=(0, 0)):
        ino[0] += 1
        fields = (ino[0], mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1], len(name) + 1, 0)
        head = b"070701" + b"".join(b"%08X" % v for v in fields) + name.encode() + b"\0"
        out.write(head + b"\0" * (-len(head) % 4) + data + b"\0" * (-len(data) % 4))

    for d in ("bin", "dev", "proc", "sys", "newroot", "lib", "lib/modules", "lib/modules/cd"):
        entry(d, stat.S_IFDIR | 0o755)
    entry("dev/console", stat.S_IFCHR | 0o600, rdev=(5, 1))
    entry("bin/busybox", stat.S_IFREG | 0o755, open(BUSYBOX, "rb").read())
    entry("init", stat.S_IFREG | 0o755, (INIT % dict(modules=" ".join(MODULES))).encode())
    for m in MODULES:
        entry("lib/modules/%s.ko" % m, stat.S_IFREG | 0o644, open(os.path.join(KERNEL_DIR, m + ".ko"), "rb").read())
    entry("TRAILER!!!", 0)
    out.close()


def _die_with_parent():
    # qemu must not outlive the driver, however the driver ends.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def boot(machine_args, share, log_path, say, accel, limit=BOOT_LIMIT):
    """Runs one guest to its power-off; relays its progress lines; kills it
    after `limit` seconds, or when its initramfs has said nothing within
    FIRST_WORD_LIMIT. Returns (seconds, last progress line)."""
    initrd = os.path.join(share, "initramfs.cpio")
    write_initramfs(initrd)
    cmd = ([QEMU] + accel + ["-smp", "2", "-m", "3072", "-nodefaults", "-no-user-config",
                                      "-display", "none", "-vga", "none", "-monitor", "none",
                                      "-serial", "stdio", "-no-reboot",
                                      "-kernel", os.path.join(KERNEL_DIR, "vmlinuz"), "-initrd", initrd,
                                      "-append", "console=ttyS0 quiet panic=-1 mitigations=off"]
           + [a.format(share=share) for a in SHARES] + machine_args)
    t0 = time.monotonic()
    last, said = "qemu started", t0
    with open(log_path, "wb") as log:
        log.write((" ".join(cmd) + "\n").encode())
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                preexec_fn=_die_with_parent)
        try:
            buf = b""
            while True:
                now = time.monotonic()
                if now - t0 > limit:
                    say("guest still running after %d s: killed" % limit)
                    break
                if last == "qemu started" and now - t0 > FIRST_WORD_LIMIT:
                    say("no word from the guest after %d s: killed" % FIRST_WORD_LIMIT)
                    break
                ready = select.select([proc.stdout], [], [], 5)[0]
                if ready:
                    chunk = os.read(proc.stdout.fileno(), 65536)
                    if not chunk:
                        break
                    log.write(chunk)
                    log.flush()
                    buf += chunk
                    *lines, buf = buf.split(b"\n")
                    for line in lines:
                        text = line.decode("latin-1").strip()
                        if text.startswith("realbus:"):
                            last, said = text[len("realbus:"):].strip(), time.monotonic()
                            say(last)
                if time.monotonic() - said >= 20:
                    said = time.monotonic()
                    say("... %d s since qemu started; last: %s" % (said - t0, last))
        finally:
            proc.kill()
            proc.wait()
    return time.monotonic() - t0, last


def prepare_share(share, win32, portwine, cases):
    shutil.rmtree(share, ignore_errors=True)
    os.makedirs(share)
    doubles = os.path.join(win32, "tests", "e2e", "doubles")
    for src in [os.path.join(win32, "setup", exe) for exe in {c.get("exe", "setup.exe") for c in cases}] + [
                os.path.join(win32, "setup", "setup.exe"), os.path.join(doubles, "fitter16.exe"),
                os.path.join(doubles, "user.exe"), os.path.join(doubles, "runner.exe"),
                os.path.join(doubles, "keeper.exe"),
                portwine, HARNESS, os.path.join(HERE, "guest.py")]:
        shutil.copy(src, share)
    with open(os.path.join(share, "cases.json"), "w") as f:
        json.dump(dict(cases=cases), f, indent=1)


def prefix_copy(work, say):
    """A tarball of a fresh prefix made on this machine with the harness, or
    None where Wine cannot run here (the guest then makes its own). Kept in
    `work` under a name taken from what made it, so a change starts anew.
    The DLLs that Wine copies into the prefix become links to Wine's own
    files, which the guest sees through the root share: 13 MB, not 600."""
    sys.path.insert(0, os.path.dirname(HARNESS))
    import winetest as wt
    h = hashlib.sha1(open(HARNESS, "rb").read())
    st = os.stat(wt.WINE)
    h.update(b"%d %d" % (st.st_size, st.st_mtime))
    copy = os.path.join(work, "prefix-%s.tar" % h.hexdigest()[:12])
    if os.path.exists(copy):
        return copy
    if wt.unusable_reason(need_display=False):
        return None
    say("making a Wine prefix on this machine for the guest")
    with wt.WinePrefix(display=None) as pfx:
        for args in ([wt.WINESERVER, "-k"], [wt.WINESERVER, "-w"]):
            pfx._tool(args, 60, " ".join(args), check=False)  # the registry reaches the disk
        for top, _, names in os.walk(pfx.drive_c):
            for n in names:
                path, lib = os.path.join(top, n), os.path.join(WINE_DLLS, n.lower())
                if (os.path.isfile(lib) and not os.path.islink(path) and
                        os.path.getsize(lib) == os.path.getsize(path) and filecmp.cmp(lib, path, shallow=False)):
                    os.remove(path)
                    os.symlink(lib, path)
        for old in os.listdir(work):
            if old.startswith("prefix-") and old.endswith(".tar"):
                os.remove(os.path.join(work, old))
        subprocess.run(["tar", "-cf", copy + ".new", "-C", pfx.path, "."], check=True, timeout=600)
        os.replace(copy + ".new", copy)
    return copy


def run_machine(name, win32, portwine, work, say, cases=None, cds=()):
    """Boots machine `name` with the given guest cases and discs, each in an
    IDE CD-ROM drive of its own; returns results.json."""
    share = os.path.join(work, name)
    drives = []
    for index, cd in enumerate(cds):
        drives += ["-drive", "file=%s,media=cdrom,if=ide,index=%d" % (cd["image"], index)]
    prepare_share(share, win32, portwine, cases)
    copy = prefix_copy(work, say)
    if copy:
        shutil.copy(copy, os.path.join(share, "prefix.tar"))
    log = os.path.join(work, name + "-console.log")
    accel = accelerator()
    seconds, last = boot(MACHINES[name] + drives, share, log, say, accel)
    if accel != TCG and last == "qemu started":
        say("the kernel did not come up under KVM; again under TCG")
        seconds, last = boot(MACHINES[name] + drives, share, log, say, TCG)
    try:
        with open(os.path.join(share, "results.json")) as f:
            results = json.load(f)
    except (OSError, ValueError):
        results = dict(functions=[], cases={})
    results["boot_seconds"] = round(seconds, 1)
    results["last"] = last
    return results


def demo(win32, portwine, pkgtool, work):
    """The README's first command, on a real bus: the example package's CD,
    written by pkgtool cd --autorun, in the i440FX machine's drive D:, and
    setup.exe started from it as AutoRun starts it on Windows 98, the
    registry as Windows 98 would have written it for that bus."""
    t0 = time.monotonic()
    say = lambda text: print("  [guest %5.1f s] %s" % (time.monotonic() - t0, text), flush=True)
    cd = make_cd("EXAMPLE", work, win32, pkgtool)
    print("examples/package with the shipped setup.exe and Sequor.exe and the helper's stand-in, in %s:" %
          os.path.relpath(os.path.join(work, "cd-example", "stage")))
    print("$ SOURCE_DATE_EPOCH=%s pkgtool cd %s -o %s --autorun --label EXAMPLE" % (
        SOURCE_DATE_EPOCH, os.path.relpath(os.path.join(work, "cd-example", "stage")), os.path.relpath(cd["image"])))
    print(cd["report"].rstrip())
    case = dict(name="pc_cd_example_autorun", cd="EXAMPLE", outcome="predicted")
    print("\nBooting a qemu guest (i440FX; Cirrus, VGA, Rage 128 Pro and Radeon 7000 cards; two bridges; the CD "
          "in an IDE CD-ROM drive); it takes a few minutes", flush=True)
    res = run_machine("pc", win32, portwine, work, say, [guest_case(case, {"EXAMPLE": cd})], [cd])
    got = res["cases"].get(case["name"])
    print("PCI functions the guest kernel enumerates: %s" % ", ".join(
        "%02x:%02x.%d %04x:%04x" % (f["bus"], f["dev"], f["fn"], f["vendor"], f["device"]) for f in res["functions"]))
    if not got:
        print("The guest did not run setup.exe (last: %s); see %s" % (res["last"], os.path.join(work, "pc-console.log")))
        return 1
    start = guest_case(case, {"EXAMPLE": cd})["start"]
    print("\n== Windows 98 on that bus, the CD in D: (a CD-ROM drive to Windows: drive type %s), setup.exe started as "
          "AutoRun starts it: %s%s in %s" % (got.get("drive_type"), start["exe"], " " + start["args"] if start["args"]
                                              else "", start["cwd"]))
    for b in got["boxes"]:
        print("   box  [%s] %s" % (b["caption"], b["text"]))
    if not got["boxes"]:
        print("   no box: DetectCard found a card, CheckPCIKey found it in the registry at its location")
    for e in got["helper"]:
        if e["event"] == "start":
            print("   helper started: %s" % e["cmdline"])
        elif e["event"] == "clicked":
            print("   helper's Install button clicked")
        elif e["event"] == "end":
            print("   helper ended with exit code %s; under Wine a 16-bit program's process ends with 0, "
                  "and the launcher hands that on" % e["code"])
    print("   exit code %s" % got["exit_code"])
    problems = check_cd_case(case, predict(case, cd, res["functions"], got, pkgtool, work), got)
    print("   %s" % ("as pkgtool run predicts for the same image and bus" if not problems
                     else "NOT as pkgtool run predicts: " + "; ".join(problems)))
    return 1 if problems else 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--win32-dir", required=True)
    p.add_argument("--portwine", required=True)
    p.add_argument("--pkgtool", required=True, help="writes the CD images and predicts their runs")
    p.add_argument("--work", required=True)
    p.add_argument("--only", action="append", default=[], help="run only cases whose name holds this")
    p.add_argument("--demo", action="store_true", help="the example package's CD on the i440FX machine")
    p.add_argument("machines", nargs="*", help=", ".join(sorted(MACHINES)))
    args = p.parse_args()
    unknown = [m for m in args.machines if m not in MACHINES]
    if unknown or not (args.machines or args.demo):
        p.error("machines: one or more of %s" % ", ".join(sorted(MACHINES)))
    reason = unusable_reason()
    if reason:
        print("SKIP: %s" % reason)
        return SKIP
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))  # ctest's time-out: unwind, kill qemu
    os.makedirs(args.work, exist_ok=True)
    if args.demo:
        return demo(os.path.abspath(args.win32_dir), os.path.abspath(args.portwine), os.path.abspath(args.pkgtool),
                    os.path.abspath(args.work))
    passed = failed = 0
    t_all = time.monotonic()
    for machine in args.machines:
        t0 = time.monotonic()
        say = lambda text: print("[%s %6.1f s] %s" % (machine, time.monotonic() - t0, text), flush=True)
        rows = [c for c in CASES if c["machine"] == machine and
                (not args.only or any(o in c["name"] for o in args.only))]
        # Hunting a rare fault: every chosen case N times in the one boot.
        repeat = int(os.environ.get("REALBUS_REPEAT", "1"))
        if repeat > 1:
            rows = [dict(c, name="%s_%d" % (c["name"], k)) for k in range(1, repeat + 1) for c in rows]
        win32, work = os.path.abspath(args.win32_dir), os.path.abspath(args.work)
        labels = sorted({c["cd"] for c in rows if c.get("cd")})
        cds = {label: make_cd(label, work, win32, os.path.abspath(args.pkgtool)) for label in labels}
        for label in labels:
            say("disc %s: %s" % (label, cds[label]["report"].strip().splitlines()[-1]))
        res = run_machine(machine, win32, os.path.abspath(args.portwine), work, say,
                          [guest_case(c, cds) for c in rows], [cds[label] for label in labels])
        if not res["cases"]:
            log = os.path.join(args.work, machine + "-console.log")
            print("the guest ran no case; the end of %s:\n%s" % (log, open(log, "rb").read()[-3000:].decode(
                "latin-1") if os.path.exists(log) else "(none)"))
        functions = res["functions"]
        print("%s: %d PCI functions in the guest's sysfs: %s" % (machine, len(functions), ", ".join(
            "%02x:%02x.%d %04x:%04x" % (f["bus"], f["dev"], f["fn"], f["vendor"], f["device"]) for f in functions)))
        for label in labels:
            problems = check_cd_names(cds[label], res.get("cds", {}).get(label))
            passed, failed = passed + (not problems), failed + bool(problems)
            print("%s disc %s read back by the guest kernel and isoinfo%s" % (
                "FAIL" if problems else "PASS", label, ": " + "\n  ".join(problems) if problems else ""), flush=True)
        for c in rows:
            got = res["cases"].get(c["name"]) or {}
            if c.get("outcome") == "predicted" and got:
                problems = check_cd_case(c, predict(c, cds[c["cd"]], functions, got, os.path.abspath(args.pkgtool),
                                                    work), got)
            else:
                problems = check_case(c, functions, res["cases"].get(c["name"]))
            if problems:
                failed += 1
                print("FAIL %s: %s\n  run: %s" % (c["name"], "\n  ".join(problems), json.dumps(got)), flush=True)
            else:
                passed += 1
                print("PASS %s (%.1f s)" % (c["name"], got.get("seconds", 0)), flush=True)
        for c in rows:
            share = (res["cases"].get(c["name"]) or {}).get("share") or {}
            if share.get("cpu") is not None:
                print("launcher CPU in the guest while it waits for the helper's window, %s: %.2f s in %.2f s "
                      "(%.1f %%)" % (c["exe"], share["cpu"], share["wall"], 100.0 * share["cpu"] / share["wall"]))
        timing = [res["cases"].get("pc_timing_with%s_scan" % w) for w in ("", "out")]
        if all(timing):
            # Wall time only: the runner's CPU figure for a program in the
            # guest is not that program's (it tracked the runner itself).
            print("setup.exe under Wine on the real bus, wall ms: with DetectCard's full scan %s, without %s"
                  % tuple(t["wall_ms"] for t in timing))
        print("%s: guest %.1f s from qemu start to power-off; Wine prefix %s s; keeper.exe started %s time(s); "
              "%s; last: %s" % (machine, res["boot_seconds"], res.get("prefix_seconds"), res.get("keeper_starts"),
                                res.get("native_scan"), res["last"]))
    print("tier wall time %.1f s" % (time.monotonic() - t_all))
    print("%d passed, %d failed" % (passed, failed), flush=True)
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
