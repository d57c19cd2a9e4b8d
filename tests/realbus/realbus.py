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

usage: realbus.py --win32-dir DIR --portwine FILE --work DIR [--only NAME] MACHINE...
       realbus.py --win32-dir DIR --portwine FILE --work DIR --demo PACKAGE
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
MODULES = ("virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci "
           "9pnet 9pnet_virtio netfs fscache 9p").split()
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
HELPER_EXIT = 3


def setup_ini(case):
    entries = "".join("%d=%s,PCI,%s,0\n" % (i + 1, e, case.get("flag", "1"))
                      for i, e in enumerate(case["entries"]))
    return ("[Application]\nW98=%s\n[SubDir]\nW98=\\WIN98\n[DetectCard]\n%s[Message]\n%s" % (
        case.get("commands", "DetectCard,Install,End"), entries,
        "".join("%s=%s\n" % kv for kv in MESSAGES.items())))


def guest_case(case):
    return dict(name=case["name"], files={"SETUP.INI": setup_ini(case)}, grant=case.get("grant", True),
                enum=case.get("enum"), helper_exit=HELPER_EXIT, exe=case.get("exe", "setup.exe"),
                share=case.get("share", False), helper_show_ms=case.get("helper_show_ms"),
                timeout=300 if case.get("grant", True) else 600)


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
        if got["exit_code"] != HELPER_EXIT:
            problems.append("exit code: expected the helper's %d, got %r" % (HELPER_EXIT, got["exit_code"]))
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
               [BUSYBOX, "/usr/lib/wine/wine", "/usr/bin/Xvfb"] if not os.path.isfile(p)]
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

    for d in ("bin", "dev", "proc", "sys", "newroot", "lib", "lib/modules"):
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


def run_machine(name, win32, portwine, work, say, cases=None):
    """Boots machine `name` with the given guest cases; returns results.json."""
    share = os.path.join(work, name)
    prepare_share(share, win32, portwine, cases)
    copy = prefix_copy(work, say)
    if copy:
        shutil.copy(copy, os.path.join(share, "prefix.tar"))
    log = os.path.join(work, name + "-console.log")
    accel = accelerator()
    seconds, last = boot(MACHINES[name], share, log, say, accel)
    if accel != TCG and last == "qemu started":
        say("the kernel did not come up under KVM; again under TCG")
        seconds, last = boot(MACHINES[name], share, log, say, TCG)
    try:
        with open(os.path.join(share, "results.json")) as f:
            results = json.load(f)
    except (OSError, ValueError):
        results = dict(functions=[], cases={})
    results["boot_seconds"] = round(seconds, 1)
    results["last"] = last
    return results


def demo(win32, portwine, work, package):
    """The README's first command, on a real bus: the example package's
    Windows 98 run on the i440FX machine, its registry as Windows 98 would
    have written it for that bus."""
    t0 = time.monotonic()
    say = lambda text: print("  [guest %5.1f s] %s" % (time.monotonic() - t0, text), flush=True)
    files = {}
    for top, _, names in os.walk(package):
        for n in names:
            rel = os.path.relpath(os.path.join(top, n), package)
            files[rel.replace("/", "\\")] = open(os.path.join(top, n), encoding="latin-1", newline="").read()
    case = dict(name="CD", files=files, grant=True, enum=[], helper_exit=1, timeout=300)
    print("Booting a qemu guest (i440FX; Cirrus, VGA, Rage 128 Pro and Radeon 7000 cards; two bridges); "
          "it takes a few minutes", flush=True)
    res = run_machine("pc", win32, portwine, work, say, [case])
    got = res["cases"].get("CD")
    print("PCI functions the guest kernel enumerates: %s" % ", ".join(
        "%02x:%02x.%d %04x:%04x" % (f["bus"], f["dev"], f["fn"], f["vendor"], f["device"]) for f in res["functions"]))
    if not got:
        print("The guest did not run setup.exe (last: %s); see %s" % (res["last"], os.path.join(work, "pc-console.log")))
        return 1
    print("\n== Windows 98 on that bus: setup.exe (HKLM\\Enum\\PCI as Windows 98 writes it for the bus)")
    ini = configparser.ConfigParser(interpolation=None, strict=False)
    ini.read_string(files["SETUP.INI"])
    card = expected_card(res["functions"], [v for k, v in sorted(
        (int(k), v) for k, v in ini["DetectCard"].items() if k.isdigit())])
    if card:
        print("   the guest kernel's enumeration: DetectCard must find VEN_%04X&DEV_%04X at BUS_%02X&DEV_%02X&FUNC_%02X"
              % card)
    if not got["boxes"]:
        print("   no box: DetectCard found a card, CheckPCIKey found it in the registry at its location")
    for b in got["boxes"]:
        print("   box  [%s] %s" % (b["caption"], b["text"]))
    for e in got["helper"]:
        if e["event"] == "start":
            print("   helper started: %s" % e["cmdline"])
        elif e["event"] == "clicked":
            print("   helper's Install button clicked")
        elif e["event"] == "end":
            print("   helper ended with exit code %s" % e["code"])
    print("   exit code %s" % got["exit_code"])
    return 0 if got["exit_code"] == case["helper_exit"] else 1


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--win32-dir", required=True)
    p.add_argument("--portwine", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--only", action="append", default=[], help="run only cases whose name holds this")
    p.add_argument("--demo", metavar="PACKAGE", help="run this package's Windows 98 route on the i440FX machine")
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
        return demo(os.path.abspath(args.win32_dir), os.path.abspath(args.portwine), os.path.abspath(args.work),
                    args.demo)
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
        res = run_machine(machine, os.path.abspath(args.win32_dir), os.path.abspath(args.portwine),
                          os.path.abspath(args.work), say, [guest_case(c) for c in rows])
        if not res["cases"]:
            log = os.path.join(args.work, machine + "-console.log")
            print("the guest ran no case; the end of %s:\n%s" % (log, open(log, "rb").read()[-3000:].decode(
                "latin-1") if os.path.exists(log) else "(none)"))
        functions = res["functions"]
        print("%s: %d PCI functions in the guest's sysfs: %s" % (machine, len(functions), ", ".join(
            "%02x:%02x.%d %04x:%04x" % (f["bus"], f["dev"], f["fn"], f["vendor"], f["device"]) for f in functions)))
        for c in rows:
            problems = check_case(c, functions, res["cases"].get(c["name"]))
            got = res["cases"].get(c["name"]) or {}
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
