"""The realbus tier's side inside the qemu guest.

Started by the initramfs once the machine's root and the work share are
mounted, with the work share as its only argument. Reads cases.json there,
records the guest kernel's own PCI enumeration, makes one Wine prefix, runs
the shipped setup.exe once per case in Windows 98 mode (through portwine,
so that its port instructions reach the bus; without it for a control) and
writes what each run showed to results.json after every case. It judges
nothing: the host driver compares.

Lines starting "realbus:" on the console are progress for the host.
"""

import json
import os
import shutil
import subprocess
import sys
import threading
import time

SHARE = os.path.abspath(sys.argv[1])
sys.path.insert(0, SHARE)
import winetest as wt  # noqa: E402

PLAIN_WINE = wt.WINE
PORTWINE = os.path.join(SHARE, "portwine")
PKG = "C:\\pkg"
T0 = time.monotonic()
CD_MOUNT = "/tmp/cd"  # the CD in Wine's drive D:
JOLIET = "ro,utf8,norock"  # the names and attributes Windows reads: Joliet, no Rock Ridge


def say(text):
    print("realbus: [%5.1f s] %s" % (time.monotonic() - T0, text), flush=True)


def sysfs_functions():
    """Every PCI function the guest kernel enumerated, in scan order."""
    base = "/sys/bus/pci/devices"
    found = []
    for name in sorted(os.listdir(base)):
        read = lambda leaf: int(open(os.path.join(base, name, leaf)).read(), 16)
        _, bus, devfn = name.split(":")
        dev, fn = devfn.split(".")
        found.append(dict(bus=int(bus, 16), dev=int(dev, 16), fn=int(fn, 10),
                          vendor=read("vendor"), device=read("device"),
                          subvendor=read("subsystem_vendor"), subdevice=read("subsystem_device"),
                          rev=read("revision")))
    return found


def enum_reg(functions, omit):
    """HKLM\\Enum\\PCI as Windows 98 writes it for these functions: a device
    key with subsystem and revision, an instance key per location."""
    root = "HKEY_LOCAL_MACHINE\\Enum\\PCI"
    lines = ["[-%s]" % root, "[%s]" % root]
    for f in functions:
        if "%04X:%04X" % (f["vendor"], f["device"]) in omit:
            continue
        lines.append("[%s\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X\\BUS_%02X&DEV_%02X&FUNC_%02X]" % (
            root, f["vendor"], f["device"], f["subdevice"], f["subvendor"], f["rev"],
            f["bus"], f["dev"], f["fn"]))
    return "\n".join(lines) + "\n"


def cd_label(device):
    """The volume label of the disc in a drive, from its primary volume descriptor."""
    with open(device, "rb") as f:
        f.seek(16 * 2048)
        pvd = f.read(2048)
    return pvd[40:72].decode("ascii", "replace").strip() if pvd[1:6] == b"CD001" else None


def mount_cd(device, options):
    subprocess.run(["umount", CD_MOUNT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    subprocess.run(["mount", "-t", "iso9660", "-o", options, device, CD_MOUNT], check=True, timeout=60)


def listing(top):
    found = []
    for at, dirs, files in os.walk(top):
        dirs.sort()
        found += [os.path.relpath(os.path.join(at, n), top) for n in sorted(dirs + files)]
    return sorted(found)


def read_cds():
    """Each disc in the guest's CD-ROM drives by label: its device, and its
    names as the guest kernel reads them, ISO 9660 as recorded (map=off
    keeps "SETUP.INI;1") and Joliet. Rock Ridge is not read, as Windows
    does not read it."""
    os.makedirs(CD_MOUNT, exist_ok=True)
    cds = {}
    for dev in sorted(d for d in os.listdir("/dev") if d.startswith("sr")):
        device = "/dev/" + dev
        label = cd_label(device)
        if not label:
            continue
        mount_cd(device, "ro,nojoliet,norock,map=off")
        iso = listing(CD_MOUNT)
        mount_cd(device, JOLIET)
        cds[label] = dict(device=device, iso=iso, joliet=listing(CD_MOUNT))
    # Wine's prefix starts without a disc mounted; a CD case mounts its own.
    subprocess.run(["umount", CD_MOUNT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return cds


class Prefix(wt.WinePrefix):
    """The harness's prefix, started from the host's copy where there is one:
    making a prefix costs minutes under emulation, and Wine's own waits
    while it does so can run out on a busy machine."""

    copy = os.path.join(SHARE, "prefix.tar")

    def _tool(self, args, *rest, **kw):
        # Before the server starts: it reads the registry files only then.
        if args[:2] == [wt.WINESERVER, "-p"] and os.path.exists(self.copy) and not os.listdir(self.path):
            subprocess.run(["tar", "-xf", self.copy, "-C", self.path], check=True, timeout=600)
        return super()._tool(args, *rest, **kw)

    def cd_drive(self):
        """D: is the CD's mount, linked once the prefix is up: Wine takes an
        ISO 9660 mount for a CD-ROM drive (the case checks it)."""
        d = os.path.join(self.path, "dosdevices", "d:")
        if os.path.realpath(d) != CD_MOUNT:
            if os.path.lexists(d):
                os.remove(d)
            os.symlink(CD_MOUNT, d)


class Watch:
    """Snapshots of the guest's processes while a run outlasts `after`
    seconds, so a hang shows who held the CPU while it hung, not after."""

    def __init__(self, after=45, every=20):
        self.after, self.every, self.shots = after, every, []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        t0 = time.monotonic()
        if self._stop.wait(self.after):
            return
        while True:
            ps = subprocess.run(["ps", "-eo", "pid,stat,time,wchan:24,args"], stdout=subprocess.PIPE,
                                timeout=30).stdout.decode(errors="replace")
            self.shots.append("[%.0f s]\n%s" % (time.monotonic() - t0, ps[-4000:]))
            if self._stop.wait(self.every):
                return

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [json.loads(line) for line in f if line.strip()]


def main():
    with open(os.path.join(SHARE, "cases.json")) as f:
        job = json.load(f)
    results = dict(functions=sysfs_functions(), cases={})
    out = os.path.join(SHARE, "results.json")

    def save():
        with open(out + ".new", "w") as f:
            json.dump(results, f, indent=1)
        os.replace(out + ".new", out)

    scan = subprocess.run([PORTWINE, "--scan"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=120).stdout.decode(errors="replace")
    results["native_scan"] = scan.strip().splitlines()[-1] if scan.strip() else ""
    say("%d functions in sysfs; %s" % (len(results["functions"]), results["native_scan"]))
    save()

    cd_cases = [c for c in job["cases"] if c.get("cd")]
    if cd_cases:
        results["cds"] = read_cds()
        say("CDs: %s" % ", ".join("%s in %s" % (k, v["device"]) for k, v in sorted(results["cds"].items())))
        save()

    wt.WINE = PLAIN_WINE
    say("starting Xvfb and the Wine prefix")
    with wt.Xvfb(timeout=180) as x, Prefix(display=x, doubles=SHARE, boot_timeout=600) as pfx:
        results["prefix_seconds"] = round(pfx.boot_seconds, 1)
        results["keeper_starts"] = pfx.keeper_starts
        say("Wine prefix ready (%s)" % ("from the host's copy" if os.path.exists(pfx.copy) else "made here"))
        save()
        pfx.mkdir(PKG)
        for exe in {"setup.exe", "fitter16.exe"} | {c.get("exe", "setup.exe") for c in job["cases"]}:
            shutil.copy(os.path.join(SHARE, exe), pfx.host_path(PKG + "\\" + exe))
        for case in job["cases"]:
            name = case["name"]
            work = PKG + "\\" + name
            pfx.mkdir(work)
            for rel, text in case["files"].items():
                pfx.write_file(work + "\\" + rel, text)
            reg = enum_reg(results["functions"], case["enum"]) if case.get("enum") is not None else None
            if reg:
                pfx.import_reg(reg)
            # A case from the CD: its disc in D:, started as AutoRun starts
            # a program (open='s command line, in the root).
            start = case.get("start") or dict(exe=PKG + "\\" + case.get("exe", "setup.exe"), args="", cwd=work)
            if case.get("cd"):
                mount_cd(results["cds"][case["cd"]]["device"], JOLIET)
                pfx.cd_drive()
            log = work + "\\helper.log"
            # The harness starts every Wine process through wt.WINE: the
            # runner, and so setup.exe and the helper, inherit the grant.
            wt.WINE = PORTWINE if case["grant"] else PLAIN_WINE
            exe = case.get("exe", "setup.exe")
            env = {"FITTER16_LOG": log, "FITTER16_EXIT": str(case.get("helper_exit", 0)), "WINEDEBUG": "-all,err+all"}
            if case.get("helper_show_ms"):
                env["FITTER16_SHOW_MS"] = str(case["helper_show_ms"])
            share = wt.CpuShare(pfx, exe, lambda: read_log(pfx.host_path(log)))
            try:
                with Watch() as watch:
                    if case.get("share"):
                        share.start()
                    r = wt.run_program(pfx, start["exe"], args=start["args"], cwd=start["cwd"], version="win98",
                                       timeout=case["timeout"], env=env, name=name)
            finally:
                wt.WINE = PLAIN_WINE
                if case.get("share"):
                    share.finish()
            helper = read_log(pfx.host_path(log))
            results["cases"][name] = dict(
                status=r.status, exit_code=r.exit_code, wall_ms=r.wall_ms, cpu_ms=r.cpu_ms,
                seconds=round(r.host_seconds, 1), helper=helper,
                boxes=[dict(caption=b.get("caption"), text=b.get("text")) for b in r.boxes],
                user_errors=r.user_errors, left_running=r.left_running,
                stderr=r.stderr[-3000:], enum_reg=reg, drive_type=r.raw.get("cwd_drive_type"),
                program_attributes=r.raw.get("program_attributes"))
            if case.get("share"):
                results["cases"][name]["share"] = dict(cpu=share.cpu, wall=share.wall)
            if watch.shots:
                results["cases"][name]["ps_while_running"] = watch.shots
            results["keeper_starts"] = pfx.keeper_starts
            save()
            say("case %s: %s in %.1f s" % (name, r.status, r.host_seconds))
    say("done")


if __name__ == "__main__":
    try:
        main()
    except BaseException as e:  # the host reads the reason from the console
        say("guest failed: %r" % e)
        import traceback
        traceback.print_exc()
        sys.stdout.flush()
        sys.exit(1)
