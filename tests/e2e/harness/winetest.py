"""Driver for the end-to-end tier: real win32 binaries under Wine.

A test script builds one Xvfb and one WinePrefix, then runs its table of
cases through run_cases(); each case starts programs with run_program(), which
puts our doubles around them: user.exe answers and records the message boxes,
runner.exe reports the full exit code and the CPU time.

Rules this module keeps so that a broken case fails instead of hanging:
every wait has a time-out; Wine processes never write into a pipe we read
(their output goes to files); whatever a run leaves behind in the prefix is
killed by process id afterwards; and a guard process outlives the harness,
so that a harness killed outright (ctest's time-out) still leaves no Wine
session, Xvfb or prefix behind.

Standard library only.
"""

import argparse
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

WINE = os.environ.get("WINETEST_WINE", "/usr/lib/wine/wine")
WINESERVER = os.environ.get("WINETEST_WINESERVER", "wineserver")
XVFB = os.environ.get("WINETEST_XVFB", "Xvfb")

# Exit code for "this machine cannot run the tier" (ctest SKIP_RETURN_CODE).
SKIP = 77
# Seconds for keeper.exe to show its window: its start may start explorer.
KEEPER_LIMIT = 120
KEEPER_STARTS = 4
KEEPER_PAUSE = 10  # seconds between two starts of keeper.exe

VERSIONS = ("win95", "win98", "winme", "nt351", "nt40", "win2k", "winxp", "win2003",
            "vista", "win7", "win8", "win81", "win10", "default")

BUTTON_NAMES = {1: "OK", 2: "Cancel", 3: "Abort", 4: "Retry", 5: "Ignore", 6: "Yes",
                7: "No", 9: "Help", 10: "TryAgain", 11: "Continue"}
BUTTON_IDS = {v.lower(): k for k, v in BUTTON_NAMES.items()}

_ANSWER_WORD = (r"(?:ok|cancel|abort|retry|ignore|yes|no|tryagain|continue|help"
                r"|close|esc|escape|default|leave|button:\d+)")
_ANSWER_RE = re.compile(r"^(?:wait:\d+(?::%s)?|%s)$" % (_ANSWER_WORD, _ANSWER_WORD), re.I)

# Processes Wine runs for itself from system32; a run's leftovers are
# everything else (a program named like one of these elsewhere is a leftover).
_SYSTEM32 = "c:\\windows\\system32\\"
_SYSTEM_PROGRAMS = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe",
                    "rpcss.exe", "explorer.exe", "conhost.exe", "wineboot.exe",
                    "rundll32.exe", "tabtip.exe", "start.exe"}


class HarnessError(Exception):
    """The test machinery itself failed (Wine, Xvfb, a missing double)."""


class CheckFailure(AssertionError):
    """A check of a case failed; the message carries the context."""


# ---------------------------------------------------------------- processes

def _wait(proc, timeout):
    """Waits for a Popen; kills it (and its group) on time-out. True if it ended."""
    try:
        proc.wait(timeout=timeout)
        return True
    except subprocess.TimeoutExpired:
        _kill_group(proc)
        return False


def _kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.kill()
    except ProcessLookupError:
        pass
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


# ---------------------------------------------------------------- guard

_GUARD = None


def _guard(*words):
    """Tells the guard what to end when we end: ("pid", n) or ("prefix", path,
    root-to-remove); "forget-pid" and "forget-prefix" once we ended it ourselves.

    The guard is this module run with --guard, in a session of its own,
    reading our lines until its input ends, which happens however we end.
    It is no descendant of ours: ctest's time-out kills the test's whole
    process tree, and would take the guard with it.
    """
    global _GUARD
    if _GUARD is None:
        r, w = os.pipe()
        try:
            starter = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--guard"],
                                       stdin=r, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
            _wait(starter, 30)  # it ends at once, leaving the guard behind
        finally:
            os.close(r)
        _GUARD = os.fdopen(w, "wb")
    try:
        _GUARD.write(os.fsencode("\t".join(str(w) for w in words) + "\n"))
        _GUARD.flush()
    except OSError:
        pass


def _guard_main():
    if os.fork() > 0:
        os._exit(0)
    pids, prefixes = set(), {}
    for line in sys.stdin.buffer:
        words = os.fsdecode(line.rstrip(b"\n")).split("\t")
        if words[0] == "pid":
            pids.add(int(words[1]))
        elif words[0] == "forget-pid":
            pids.discard(int(words[1]))
        elif words[0] == "prefix":
            prefixes[words[1]] = words[2]
        elif words[0] == "forget-prefix":
            prefixes.pop(words[1], None)
    for path, root in prefixes.items():
        env = dict(os.environ, WINEPREFIX=path)
        try:
            subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            pass
        _kill_pids(_prefix_processes(path))
        if root:
            shutil.rmtree(root, ignore_errors=True)
    for pid in pids:
        try:
            os.killpg(pid, signal.SIGKILL)
        except OSError:
            pass


def _read(path, limit=1 << 20):
    try:
        with open(path, "rb") as f:
            return f.read(limit).decode("latin-1")
    except FileNotFoundError:
        return ""


# ---------------------------------------------------------------- Xvfb

class Xvfb:
    """An X server of our own, on a display number it picks itself."""

    def __init__(self, screen="1024x768x24", timeout=15):
        self.screen = screen
        self.timeout = timeout
        self.proc = None
        self.display = None
        self._log = None

    def start(self):
        if shutil.which(XVFB) is None:
            raise HarnessError("Xvfb not found")
        self._log = tempfile.TemporaryFile()
        rfd, wfd = os.pipe()
        try:
            # -displayfd: the server chooses a free number and tells us, so two
            # test runs side by side never fight over one display.
            self.proc = subprocess.Popen(
                [XVFB, "-displayfd", str(wfd), "-nolisten", "tcp", "-screen", "0", self.screen],
                pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=self._log,
                stderr=subprocess.STDOUT, start_new_session=True)
        finally:
            os.close(wfd)
        number = b""
        deadline = time.monotonic() + self.timeout
        try:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready = select.select([rfd], [], [], max(left, 0))[0] if left > 0 else []
                if not ready:
                    break
                chunk = os.read(rfd, 16)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(rfd)
        if not number.strip().isdigit():
            self._log.seek(0)
            log = self._log.read().decode("latin-1", "replace")
            self.stop()
            raise HarnessError("Xvfb did not report a display within %ss: %s" % (self.timeout, log))
        self.display = ":" + number.strip().decode()
        _guard("pid", self.proc.pid)
        return self

    def stop(self):
        if self.proc is not None:
            if self.proc.poll() is None:
                self.proc.terminate()
                _wait(self.proc, 5)
            _guard("forget-pid", self.proc.pid)
            self.proc = None
        if self._log is not None:
            self._log.close()
            self._log = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# ---------------------------------------------------------------- prefix

def quote_arg(arg):
    """Quotes one argument the way the C runtime splits a command line."""
    if arg and not re.search(r'[\s"]', arg):
        return arg
    out, slashes = '"', 0
    for ch in arg:
        if ch == "\\":
            slashes += 1
            continue
        if ch == '"':
            out += "\\" * (2 * slashes + 1) + '"'
        else:
            out += "\\" * slashes + ch
        slashes = 0
    return out + "\\" * (2 * slashes) + '"'


def join_args(args):
    return " ".join(quote_arg(a) for a in args)


# The install helper's stand-ins (doubles/). fitter16.exe is the helper as
# it is, a 16-bit Windows program. Wine ends a 16-bit program's process with
# exit code 0 whatever the program's own (its KERNEL ends the last task of
# winevdm.exe with TerminateProcess(..., 0)), so a case about the helper's
# exit code handed on takes the 32-bit twin fitter32.exe.
HELPER16, HELPER32 = "fitter16.exe", "fitter32.exe"


def helper_double(exit_code=0):
    return HELPER32 if exit_code else HELPER16


def helper_command_line(text, double):
    """A helper's command line as its double logs it: Wine's winevdm.exe
    rebuilds a 16-bit program's command line from its parsed arguments, so a
    run of blanks comes as one."""
    return " ".join(text.split()) if double == HELPER16 else text


class WinePrefix:
    """A fresh 32-bit Wine prefix in a temporary folder, removed on exit.

    The wineserver is kept alive for the prefix's whole life, so that each
    program start costs a fraction of a second instead of a session start.
    """

    def __init__(self, display=None, doubles=None, version="default", keep=False,
                 boot_timeout=180, base_dir=None):
        if isinstance(display, Xvfb):
            display = display.display
        self.display = display
        self.doubles = doubles or os.environ.get("WINETEST_DOUBLES")
        self.default_version = _check_version(version)
        self.keep = keep
        self.boot_timeout = boot_timeout
        self.base_dir = base_dir or os.environ.get("WINETEST_TMP")
        self.root = None
        self.path = None
        self.boot_seconds = None
        self._runs = 0
        self._app_versions = set()
        self._server = None
        self._keeper = None
        self.keeper_starts = 0
        self._system_programs = set(_SYSTEM_PROGRAMS)

    # -- life

    def __enter__(self):
        self.create()
        return self

    def __exit__(self, *exc):
        self.close()

    def create(self):
        if not os.path.exists(WINE):
            raise HarnessError("Wine loader not found at %s" % WINE)
        if self.doubles:
            for name in ("user.exe", "runner.exe", "keeper.exe"):
                if not os.path.isfile(os.path.join(self.doubles, name)):
                    raise HarnessError("double %s missing in %s (build the win32 tree first)"
                                       % (name, self.doubles))
        self.root = tempfile.mkdtemp(prefix="winetest-", dir=self.base_dir)
        self.path = os.path.join(self.root, "prefix")
        os.mkdir(self.path)  # the server is keyed by the prefix folder, so it must exist
        _guard("prefix", self.path, "" if self.keep else self.root)
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": self.path,
            "WINEARCH": "win32",
            "WINEDEBUG": "-all",
            # No install dialogs for .NET or the HTML engine, no menu entries,
            # and no debugger: a crash ends the process at once.
            "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d",
        })
        self.env.pop("WINESERVER", None)
        if self.display:
            self.env["DISPLAY"] = self.display
        else:
            self.env.pop("DISPLAY", None)
        t0 = time.monotonic()
        try:
            # A persistent server first, so the session the boot starts stays.
            self._tool([WINESERVER, "-p"], 30, "wineserver -p")
            self._tool([WINE, "wineboot", "-i"], self.boot_timeout, "wineboot -i")
            self.import_reg(_BASE_SETTINGS)
            self.hold_desktop()
        except BaseException:
            self.close()
            raise
        self.boot_seconds = time.monotonic() - t0
        return self

    def close(self):
        if self.root is None:
            return
        if os.path.isdir(self.path):
            for args in ([WINESERVER, "-k"], [WINESERVER, "-w"]):
                try:
                    self._tool(args, 30, " ".join(args), check=False)
                except HarnessError:
                    pass
            self._kill(self.processes())  # what the server could not end
        if self._keeper:
            _wait(self._keeper, 5)
            self._keeper = None
        _guard("forget-prefix", self.path)
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            sys.stderr.write("winetest: prefix kept at %s\n" % self.root)
        self.root = None

    def hold_desktop(self):
        """Starts keeper.exe unless it runs: its hidden window keeps Wine's
        desktop in use, so explorer.exe is not shut down between programs
        (keeper.cpp says why that matters on a slow machine). Again after a
        run that ended the Wine session.

        On a loaded machine explorer can take longer to start than Wine
        waits for it on behalf of the program that started it, and that
        program then gets no window. Such a keeper stays, holding the
        desktop while explorer finishes, and another is started, up to
        KEEPER_STARTS in all, each said on stderr and counted in
        self.keeper_starts; the ones without a window end once one has it."""
        if not self.doubles or (self._keeper and self._keeper.poll() is None):
            return
        keeper = os.path.join(self.doubles, "keeper.exe")
        # Wine's own word on a window it could not create (nodrv_CreateWindow).
        env = dict(self.env, WINEDEBUG="-all,err+winediag")
        waiting = []
        try:
            for attempt in range(1, KEEPER_STARTS + 1):
                ready = os.path.join(self.root, "keeper%d.ready" % self.keeper_starts)
                self.keeper_starts += 1
                with open(os.path.join(self.root, "keeper.out"), "ab") as out:
                    proc = subprocess.Popen([WINE, keeper, self.win_path(ready)], env=env,
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                            start_new_session=True)
                deadline = time.monotonic() + KEEPER_LIMIT
                while True:
                    said = _read(ready) if os.path.exists(ready) else ""
                    ended = proc.poll()
                    if said.startswith("hwnd="):
                        self._keeper = proc
                        return
                    if said or ended is not None:
                        break
                    if time.monotonic() > deadline:
                        waiting.append(proc)
                        raise HarnessError("keeper.exe showed no window within %d s" % KEEPER_LIMIT)
                    time.sleep(0.1)
                waiting.append(proc)
                why = said.strip() or "it ended with exit code %s" % ended
                wine_said = " ".join(line.split(":", 3)[-1].strip() for line in
                                     _read(os.path.join(self.root, "keeper.out")).splitlines()[-2:])
                sys.stderr.write("winetest: keeper.exe got no window (%s; Wine: %s), start %d of %d\n"
                                 % (why, wine_said or "nothing", attempt, KEEPER_STARTS))
                time.sleep(KEEPER_PAUSE)  # explorer, held by the one that failed, goes on starting
            raise HarnessError("keeper.exe could not hold Wine's desktop in %d starts: %s" % (KEEPER_STARTS, why))
        finally:
            for proc in waiting:
                proc.kill()
                _wait(proc, 10)

    # -- running Wine tools

    def _tool(self, args, timeout, what, check=True):
        log = os.path.join(self.root, "tool.log")
        with open(log, "ab") as out:
            proc = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, start_new_session=True)
            ended = _wait(proc, timeout)
        if not ended:
            raise HarnessError("%s did not end within %ss" % (what, timeout))
        if check and proc.returncode != 0:
            raise HarnessError("%s failed with %s; log:\n%s" % (what, proc.returncode, _read(log)[-3000:]))
        return proc.returncode

    def wine(self, args, timeout=60, check=True):
        """Runs `wine <args>` (e.g. ["reg", "add", ...]); returns (rc, output)."""
        out = os.path.join(self.root, "wine-%d.out" % self._next_run())
        with open(out, "wb") as f:
            proc = subprocess.Popen([WINE] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=f, stderr=subprocess.STDOUT, start_new_session=True)
            ended = _wait(proc, timeout)
        text = _read(out)
        if not ended:
            raise HarnessError("wine %s did not end within %ss" % (" ".join(args), timeout))
        if check and proc.returncode != 0:
            raise HarnessError("wine %s failed (%s): %s" % (" ".join(args), proc.returncode, text))
        return proc.returncode, text

    # -- registry

    def reg_add(self, key, name=None, data=None, type="REG_SZ"):
        """`reg add`; name None sets the key's default value (or only creates the key)."""
        args = ["reg", "add", key]
        args += ["/ve"] if name is None else ["/v", name]
        if data is not None:
            args += ["/t", type, "/d", str(data)]
        self.wine(args + ["/f"])

    def reg_delete(self, key, name=None):
        args = ["reg", "delete", key] + ([] if name is None else ["/v", name]) + ["/f"]
        self.wine(args, check=False)

    def reg_query(self, key, name):
        """The value's data as text, or None when it does not exist."""
        rc, text = self.wine(["reg", "query", key, "/v", name], check=False)
        if rc != 0:
            return None
        for line in text.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) > 2 else ""
        return None

    def import_reg(self, text):
        """Imports .reg text (the REGEDIT4 header is added when missing)."""
        if not text.lstrip().startswith(("REGEDIT4", "Windows Registry Editor")):
            text = "REGEDIT4\n\n" + text
        path = os.path.join(self.root, "import-%d.reg" % self._next_run())
        with open(path, "w", encoding="latin-1", newline="\r\n") as f:
            f.write(text if text.endswith("\n") else text + "\n")
        self.wine(["reg", "import", self.win_path(path)])

    def set_version(self, version, exe=None):
        """Reported Windows version for every run (exe None) or for one program.

        Per-program settings stay until changed; the global one is what each
        run_program() applies unless told otherwise.
        """
        version = _check_version(version)
        if exe is None:
            self.default_version = version
            return
        key = r"HKCU\Software\Wine\AppDefaults" + "\\" + exe
        if version == "default":
            self.reg_delete(key, "Version")
        else:
            self.reg_add(key, "Version", version)

    # -- programs of the system

    SYSTEM32 = "C:\\windows\\system32"

    def install_system_program(self, double, name):
        """Puts a double where the system's own program of that name lies, in
        this prefix's system32, and loads it there in place of Wine's builtin.
        From then on it counts among the programs a run leaves behind."""
        shutil.copy(os.path.join(self.doubles, double), self.host_path(self.SYSTEM32 + "\\" + name))
        self.import_reg('[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\n"%s"="native"\n' % name)
        self._system_programs.discard(name.lower())

    # -- the install helper

    def start_background(self, exe, args=(), cwd=None, env=None):
        """Starts a program that stays running beside the runs (a Popen); it
        counts among the leftovers, so end it with _kill(leftovers())."""
        run_env = dict(self.env)
        run_env.update(env or {})
        out = open(os.path.join(self.root, "background-%d.out" % self._next_run()), "wb")
        with out:
            return subprocess.Popen([WINE, exe] + list(args), env=run_env, cwd=self.host_path(cwd) if cwd else None,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    start_new_session=True)

    # -- paths

    @property
    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    def host_path(self, win_path):
        """C:\\pkg\\a.ini -> <prefix>/drive_c/pkg/a.ini; Z:\\x -> /x."""
        m = re.match(r"^([A-Za-z]):[\\/]?(.*)$", win_path)
        if not m:
            raise ValueError("not a drive path: %r" % win_path)
        rest = m.group(2).replace("\\", "/")
        drive = m.group(1).lower()
        if drive == "c":
            return os.path.join(self.drive_c, rest)
        if drive == "z":
            return "/" + rest
        return os.path.join(self.path, "dosdevices", drive + ":", rest)

    def win_path(self, host_path):
        """A host path as Wine sees it: C:\\... inside drive_c, else Z:\\..."""
        p = os.path.abspath(host_path)
        c = os.path.abspath(self.drive_c)
        if p == c or p.startswith(c + os.sep):
            return "C:\\" + os.path.relpath(p, c).replace("/", "\\").lstrip(".")
        return "Z:" + p.replace("/", "\\")

    def mkdir(self, win_path):
        path = self.host_path(win_path)
        os.makedirs(path, exist_ok=True)
        return path

    def write_file(self, win_path, data):
        """Writes bytes or text (latin-1, as ANSI files are) at a Windows path."""
        path = self.host_path(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("latin-1"))
        return path

    # -- processes of this prefix

    def processes(self):
        """{unix pid: argv[0]} of the prefix's Wine processes (not wineserver)."""
        return _prefix_processes(self.path)

    def leftovers(self):
        """Processes that are not Wine's own: what the runs left running."""
        keeper = self._keeper.pid if self._keeper else None
        return {pid: name for pid, name in self.processes().items()
                if pid != keeper and not (name.lower().startswith(_SYSTEM32) and
                                          name[len(_SYSTEM32):].lower() in self._system_programs)}

    def _kill(self, procs, timeout=5):
        _kill_pids(procs, timeout)

    def run(self, exe, args=(), **kw):
        """run_program(self, ...)"""
        return run_program(self, exe, args, **kw)

    def _next_run(self):
        self._runs += 1
        return self._runs


def _prefix_processes(path):
    """{unix pid: argv[0]} of the Wine processes of the prefix at path (not wineserver)."""
    found = {}
    key = b"WINEPREFIX=" + os.fsencode(path) + b"\0"
    me = os.getpid()
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == me:
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if key not in f.read() + b"\0":
                    continue
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv = [a.decode("latin-1") for a in f.read().split(b"\0")]
        except OSError:
            continue
        argv0 = _program_name(argv)
        if "wineserver" in argv0:
            continue
        found[int(entry)] = argv0
    return found


def _kill_pids(procs, timeout=5):
    for pid in procs:
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and any(os.path.exists("/proc/%d" % p) and
                                              not _is_zombie(p) for p in procs):
        time.sleep(0.02)


# Options of qemu's user-mode emulator that take a value.
_QEMU_VALUE_OPTIONS = {"-0", "-E", "-U", "-L", "-s", "-cpu", "-B", "-R", "-d", "-D", "-p", "-r", "-g", "-plugin"}


def _program_name(argv):
    """The program a Wine process runs, from its Linux argv.

    Wine names the Windows program in argv[0]. Where Wine's 32-bit loader
    runs under user-mode emulation, the Linux argv is the emulator's: its
    options, the loader, then the program.
    """
    if not argv or not os.path.basename(argv[0]).startswith("qemu-"):
        return argv[0] if argv else ""
    i = 1
    while i < len(argv) and argv[i].startswith("-"):
        i += 2 if argv[i] in _QEMU_VALUE_OPTIONS else 1
    rest = argv[i:]
    while rest and re.search(r"(^|/)wine(-preloader)?$", rest[0]):
        rest = rest[1:]
    return rest[0] if rest else argv[0]


def cpu_seconds(pid):
    """User and system CPU seconds of a Linux process, from /proc."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class CpuShare(threading.Thread):
    """The CPU a program of the prefix uses over `seconds`, read from Linux,
    from `after` seconds past the moment `started()` first holds, so that
    Wine's start-up of the program stays out of the figure. Start it, run
    the program, then finish(): .cpu and .wall are seconds, None where the
    program was not found before the run ended or within `limit` seconds."""

    def __init__(self, prefix, exe, started, after=2, seconds=6, limit=120):
        super().__init__(daemon=True)
        self.prefix, self.exe, self.started = prefix, exe.lower(), started
        self.after, self.seconds, self.limit = after, seconds, limit
        self.cpu = self.wall = None
        self._ended = threading.Event()

    def finish(self):
        self._ended.set()
        self.join()

    def run(self):
        deadline = time.monotonic() + self.limit
        while not self.started():
            if time.monotonic() > deadline or self._ended.wait(0.1):
                return
        if self._ended.wait(self.after):
            return
        pids = [p for p, name in self.prefix.processes().items() if name.lower().endswith("\\" + self.exe)]
        if not pids:
            return
        try:
            c0, w0 = cpu_seconds(pids[0]), time.monotonic()
            time.sleep(self.seconds)
            c1, w1 = cpu_seconds(pids[0]), time.monotonic()
        except OSError:  # it ended meanwhile
            return
        self.cpu, self.wall = c1 - c0, w1 - w0


def _is_zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except (OSError, IndexError):
        return True


def _check_version(version):
    if version is None:
        return "default"
    if version.lower() not in VERSIONS:
        raise ValueError("unknown Windows version %r (one of %s)" % (version, ", ".join(VERSIONS)))
    return version.lower()


# Unmanaged X windows: without a window manager on Xvfb, Wine otherwise waits
# about two seconds for one on every window that goes away.
# Crashes: Auto=0 would ask "Do you wish to debug it?" in a box; with Auto=1
# Wine starts the debugger, which the override above keeps from loading, so
# the process just ends with its exception code.
_BASE_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winedbg.exe"=""
"winemenubuilder.exe"=""
"mscoree"=""
"mshtml"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Auto"="1"
"Debugger"=-
"""


# ---------------------------------------------------------------- one run

class Box(dict):
    """One message box as user.exe saw it; keys are also attributes."""

    def __getattr__(self, name):
        try:
            return self[name]
        except KeyError:
            raise AttributeError(name)

    @property
    def button_names(self):
        return [BUTTON_NAMES.get(b, str(b)) for b in self.get("buttons", [])]

    @property
    def text_bytes(self):
        return self.get("text", "").encode("latin-1")

    def describe(self):
        return "[%s] %r %r buttons=%s default=%s icon=%s answer=%s" % (
            self.get("seq"), self.get("caption"), self.get("text"), "/".join(self.button_names),
            BUTTON_NAMES.get(self.get("default"), self.get("default")), self.get("icon"),
            self.get("answer"))


class RunResult:
    """What one run_program() saw. exit_code is the full 32-bit value or None."""

    def __init__(self):
        self.name = None
        self.cmdline = None
        self.status = None          # exited | timeout | createfailed | no-result
        self.exit_code = None
        self.pid = None             # Windows process id
        self.user_ms = self.kernel_ms = self.cpu_ms = self.wall_ms = None
        self.boxes = []
        self.dialogs = []           # other dialogs seen (caption, pid), not answered
        self.user_errors = []       # user.exe's complaints: bad answers, time limit
        self.stdout = ""
        self.stderr = ""
        self.left_running = []      # argv[0] of what the run left behind (killed)
        self.create_error = None
        self.run_dir = None
        self.host_seconds = None
        self.raw = {}

    @property
    def captions(self):
        return [b.caption for b in self.boxes]

    @property
    def texts(self):
        return [b.text for b in self.boxes]

    def describe(self):
        lines = ["run %s: %s" % (self.name or "", self.cmdline),
                 "  status=%s exit_code=%s%s cpu_ms=%s wall_ms=%s" % (
                     self.status, self.exit_code,
                     " (0x%08X)" % self.exit_code if self.exit_code is not None else "",
                     self.cpu_ms, self.wall_ms)]
        if self.create_error:
            lines.append("  CreateProcess error %s" % self.create_error)
        lines.append("  boxes (%d):" % len(self.boxes))
        lines += ["    " + b.describe() for b in self.boxes]
        if self.dialogs:
            lines.append("  other dialogs: %s" % ", ".join(repr(d.get("caption")) for d in self.dialogs))
        if self.user_errors:
            lines.append("  user.exe: %s" % "; ".join(self.user_errors))
        if self.left_running:
            lines.append("  left running: %s" % ", ".join(self.left_running))
        for label, text in (("stdout", self.stdout), ("stderr", self.stderr)):
            if text.strip():
                lines.append("  %s: %s" % (label, text.strip()[-1500:].replace("\n", "\n    ")))
        lines.append("  files: %s" % self.run_dir)
        return "\n".join(lines)

    __str__ = describe


def run_program(prefix, exe, args=(), cwd=None, answers=(), version=None, timeout=60,
                app_versions=None, env=None, name=None, keep_running=False):
    """Runs one program under Wine with the user double in front of it.

    exe: a Windows path (C:\\pkg\\setup.exe) or a host path.
    args: a list (quoted as the C runtime splits them) or a string taken verbatim.
    cwd: the working directory (Windows or host path); None inherits runner's.
    answers: the user's answers, one per message box, in user.exe's syntax.
    version: reported Windows version for this run (None: the prefix's default).
    app_versions: {"setup.exe": "win98"} per-program versions for this run.
    env: extra environment variables for the program.
    keep_running: do not kill what the run leaves running (it is still listed).
    """
    if not prefix.doubles:
        raise HarnessError("WinePrefix has no doubles folder")
    for a in answers:
        if not _ANSWER_RE.match(a):
            raise ValueError("bad answer %r" % a)
    prefix.hold_desktop()
    res = RunResult()
    res.name = name
    n = prefix._next_run()
    run_dir = os.path.join(prefix.root, "runs", "%03d%s" % (n, "-" + re.sub(r"\W+", "_", name) if name else ""))
    os.makedirs(run_dir)
    res.run_dir = run_dir
    f = lambda leaf: os.path.join(run_dir, leaf)
    w = lambda leaf: prefix.win_path(f(leaf))

    exe_win = exe if re.match(r"^[A-Za-z]:[\\/]", exe) else prefix.win_path(exe)
    tail = args if isinstance(args, str) else join_args(args)
    res.cmdline = quote_arg(exe_win) + (" " + tail if tail else "")
    with open(f("cmdline.txt"), "wb") as fh:
        fh.write(res.cmdline.encode("latin-1"))
    with open(f("answers.txt"), "w") as fh:
        fh.write("".join(a + "\n" for a in answers))
    if cwd is not None and not re.match(r"^[A-Za-z]:", cwd):
        cwd = prefix.win_path(cwd)

    run_env = dict(prefix.env)
    run_env.update(env or {})
    version = _check_version(version) if version is not None else prefix.default_version
    runner_args = ["--timeout=%d" % int(timeout * 1000), "--version=%s" % version]
    apps = {k.lower(): _check_version(v) for k, v in (app_versions or {}).items()}
    for exe_name in prefix._app_versions - set(apps):
        runner_args.append("--app-version=%s=default" % exe_name)
    for exe_name, v in apps.items():
        runner_args.append("--app-version=%s=%s" % (exe_name, v))
    prefix._app_versions = {k for k, v in apps.items() if v != "default"}

    t0 = time.monotonic()
    doubles = prefix.doubles
    user_limit = int(timeout + 30 + sum(_wait_ms(a) for a in answers) / 1000)
    with open(f("user.out"), "wb") as uout:
        user = subprocess.Popen(
            [WINE, os.path.join(doubles, "user.exe"), w("answers.txt"), w("user.log"), w("stop"),
             str(user_limit)],
            env=prefix.env, stdin=subprocess.DEVNULL, stdout=uout, stderr=subprocess.STDOUT,
            start_new_session=True)
    try:
        with open(f("stdout.txt"), "wb") as out, open(f("stderr.txt"), "wb") as err:
            runner = subprocess.Popen(
                [WINE, os.path.join(doubles, "runner.exe")] + runner_args +
                [w("result.txt"), cwd or "-", "@" + w("cmdline.txt")],
                env=run_env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                start_new_session=True)
        runner_ended = _wait(runner, timeout + 30)
    finally:
        open(f("stop"), "w").close()
        _wait(user, 10)
    res.host_seconds = time.monotonic() - t0

    left = prefix.leftovers()
    res.left_running = sorted(left.values())
    if not keep_running:
        prefix._kill(left)

    raw = {}
    for line in _read(f("result.txt")).splitlines():
        k, sep, v = line.partition("=")
        if sep:
            raw[k] = v
    res.raw = raw
    res.status = raw.get("status") if raw.get("end") or raw.get("status") == "createfailed" else "no-result"
    if not runner_ended:
        res.status = "no-result"
        res.user_errors.append("runner.exe did not end within %ss" % (timeout + 30))
    res.create_error = raw.get("error")
    to_int = lambda k: int(raw[k]) if k in raw else None
    res.exit_code = to_int("exit_code")
    res.pid = to_int("pid")
    res.user_ms, res.kernel_ms = to_int("user_ms"), to_int("kernel_ms")
    res.cpu_ms, res.wall_ms = to_int("cpu_ms"), to_int("wall_ms")
    for line in _read(f("user.log")).splitlines():
        try:
            rec = json.loads(line)
        except ValueError:
            res.user_errors.append("unreadable log line %r" % line)
            continue
        if "error" in rec:
            res.user_errors.append("%s %s" % (rec["error"], rec.get("answer", "")))
        elif rec.get("dialog"):
            res.dialogs.append(rec)
        else:
            box = Box(rec)
            res.boxes.append(box)
            if not box.get("answer_ok", True):
                res.user_errors.append("answer %s not possible on box %s" % (box.answer, box.seq))
    res.stdout = _read(f("stdout.txt"))
    res.stderr = _read(f("stderr.txt"))
    return res


def _wait_ms(answer):
    m = re.match(r"^wait:(\d+)", answer, re.I)
    return int(m.group(1)) if m else 0


# ---------------------------------------------------------------- checks

def _where():
    """file:line of the test code that called a check."""
    here = os.path.abspath(__file__)
    for frame in reversed(traceback.extract_stack()[:-1]):
        if os.path.abspath(frame.filename) != here:
            return "%s:%d" % (os.path.basename(frame.filename), frame.lineno)
    return "?"


def _fail(message, ctx):
    text = "%s: %s" % (_where(), message)
    if ctx is not None:
        text += "\n" + (ctx.describe() if hasattr(ctx, "describe") else str(ctx))
    raise CheckFailure(text)


def check(condition, message, ctx=None):
    if not condition:
        _fail(message, ctx)


def check_eq(actual, expected, what, ctx=None):
    if actual != expected:
        _fail("%s: expected %r, got %r" % (what, expected, actual), ctx)


def check_exit(result, expected):
    check_eq(result.status, "exited", "status", result)
    check_eq(result.exit_code, expected, "exit code", result)


def check_box(box, ctx=None, **expected):
    """Compares the given fields of one box; buttons/default may be names."""
    for key, want in expected.items():
        have = box.get(key)
        if key == "buttons":
            want = [_button_id(b) for b in want]
        elif key == "default":
            want = _button_id(want)
        if have != want:
            _fail("box %s %s: expected %r, got %r" % (box.get("seq"), key, want, have),
                  ctx if ctx is not None else box)


def check_boxes(result, expected):
    """The run showed exactly len(expected) boxes, each matching its dict."""
    if len(result.boxes) != len(expected):
        _fail("number of boxes: expected %d, got %d" % (len(expected), len(result.boxes)), result)
    for box, want in zip(result.boxes, expected):
        check_box(box, ctx=result, **want)


def _button_id(b):
    if isinstance(b, int):
        return b
    return BUTTON_IDS[b.lower()]


# ---------------------------------------------------------------- cases

def standard_args(description=None):
    """Command line common to the test scripts: --doubles, --win32-dir, --keep, case filters."""
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--doubles", default=os.environ.get("WINETEST_DOUBLES"),
                   help="folder holding user.exe, runner.exe and the other doubles")
    p.add_argument("--win32-dir", default=os.environ.get("WINETEST_WIN32_DIR"),
                   help="build folder of the win32 tree (setup/setup.exe, sequor/Sequor.exe)")
    p.add_argument("--keep", action="store_true", help="keep the prefix and the run files afterwards")
    p.add_argument("cases", nargs="*", help="run only cases whose name contains one of these")
    return p.parse_args()


def unusable_reason(need_display=True):
    """Why this machine cannot run the tier, or None when it can.

    Wine's loader is a 32-bit Linux program: a kernel or sandbox without
    32-bit support refuses to start it ("Exec format error"), and then no
    case can tell anything about our binaries.
    """
    tools = (WINE, XVFB) if need_display else (WINE,)
    missing = [t for t in tools if not (os.path.exists(t) or shutil.which(t))]
    if missing:
        return "missing %s" % ", ".join(missing)
    try:
        proc = subprocess.run([WINE, "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=60)
    except OSError as e:
        return "%s cannot be started here: %s" % (WINE, e)
    except subprocess.TimeoutExpired:
        return "%s --version did not answer within 60 s" % WINE
    if proc.returncode != 0:
        return "%s cannot run here (exit %d): %s" % (
            WINE, proc.returncode, proc.stderr.decode(errors="replace").strip()[-300:])
    return None


def require_tools(need_display=True):
    """Exits with SKIP when this machine cannot run Wine (or has no Xvfb)."""
    reason = unusable_reason(need_display)
    if reason:
        print("SKIP: %s" % reason)
        sys.exit(SKIP)


def run_cases(cases, fn, only=None):
    """Runs fn(case) for each case dict (key "name"); prints PASS/FAIL lines.

    Exits the script: status 1 when any case failed.
    """
    only = only or []
    passed = failed = 0
    names = [c["name"] for c in cases]
    dupes = {n for n in names if names.count(n) > 1}
    if dupes:
        raise HarnessError("duplicate case names: %s" % ", ".join(sorted(dupes)))
    for case in cases:
        if only and not any(o in case["name"] for o in only):
            continue
        t0 = time.monotonic()
        try:
            fn(case)
        except CheckFailure as e:
            failed += 1
            print("FAIL %s (%.1f s): %s" % (case["name"], time.monotonic() - t0, e), flush=True)
            continue
        except Exception:
            failed += 1
            print("FAIL %s (%.1f s): exception\n%s" % (case["name"], time.monotonic() - t0,
                                                       traceback.format_exc()), flush=True)
            continue
        passed += 1
        print("PASS %s (%.1f s)" % (case["name"], time.monotonic() - t0), flush=True)
    print("%d passed, %d failed" % (passed, failed), flush=True)
    if passed + failed == 0:
        print("no case matched %s" % only)
        sys.exit(1)
    sys.exit(1 if failed else 0)


if __name__ == "__main__" and sys.argv[1:] == ["--guard"]:
    _guard_main()
