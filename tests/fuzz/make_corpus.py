#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The whole-run targets read their settings from the tail of the input,
backwards, in the order of tests/fuzz/pc.cpp: Pc below writes them in that
order and the seed is the script followed by them. FUZZ_SHOW_PC=1 with a
target and a seed prints the PC the seed describes. Inputs that once found
something (regress-*) are kept by hand, not written here."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Tail:
    """Values as FuzzedDataProvider consumes them from the end of the data."""

    def __init__(self):
        self.consumed = []  # bytes in the order they are consumed

    def range(self, lo, hi, value):
        span, n = hi - lo, 0
        while n < 8 and span >> (8 * n):
            n += 1
        v = value - lo
        assert 0 <= v <= span
        self.consumed += [(v >> (8 * i)) & 0xFF for i in reversed(range(n))]

    def bool(self, value):
        self.range(0, 255, 1 if value else 0)

    def u8(self, value):
        self.range(0, 255, value)

    def u32(self, value):
        self.range(0, 0xFFFFFFFF, value)

    def bytes(self):
        return bytes(reversed(self.consumed))


PIECES = ["\\", "A", "x", " ", ",", "[CWD]", "[OS]", "[cwd]", ":", ".", "\\DISK1", "\t", "\"", "%s", "%d", "\xe9",
          "A" * 16, "L" * 64, "[CWD", "]", "\\\\"]
ROOTS = ["C:\\PKG", "D:", "D:\\", "E:\\CD\\", "C:\\work"]
VERSIONS = ["win98", "win95", "winme", "nt351", "nt40", "win2k", "winxp", "win7", "win10"]
IDS = [0x56781234, 0x56791234, 0xFFFFFFFF, 0x00001234, 0x12345678]
CODES = [0, 1, 2, 3, 254, 259, 0xFFFFFFFF, 0xC0000005]
ANSWERS = {0: 0, "ok": 1, "cancel": 2, "yes": 6, "no": 7}
PROGRAMS = ["a.exe", "b.exe", "c.exe", "first.exe", "C:\\PKG\\tools\\first.exe"]


def pieces(t, names, most):
    t.range(0, most, len(names))
    for name in names:
        t.range(0, len(PIECES) - 1, PIECES.index(name))


def exit_code(t, code):
    if code in CODES:
        t.bool(True)
        t.range(0, len(CODES) - 1, CODES.index(code))
    else:
        t.bool(False)
        t.u32(code)


def pc(root="C:\\PKG", dir_pieces=(), cwd_fails=False, arguments=None, version="win98", csd=None,
       pci=(), enum_pci=None, osr21=None, helper=None, applet=None, leftovers=(), programs=None,
       answers=(), answer_ms=60000, vanish=None):
    """pci: (bus, device, function, id); enum_pci: {device key id: [instance (bus, dev, fn) or text]};
    osr21: DisplayName text (None: no key); helper/applet: dicts of their behaviour, or None for
    none; programs: {name: (exit code, run ms) or 'refuses' or 'ends at once'}."""
    t = Tail()
    t.range(0, len(ROOTS) - 1, ROOTS.index(root))
    pieces(t, dir_pieces, 12)
    t.range(0, 15, 15 if cwd_fails else 0)
    if arguments is not None:
        pieces(t, arguments, 6)
    t.range(0, 11, VERSIONS.index(version))
    t.bool(csd is not None)
    if csd is not None:
        pieces(t, [], 3)
        t.bool(csd == "C")
    t.range(0, 40, len(pci))
    for bus, device, function, ident in pci:
        t.bool(False)
        t.u8(bus)
        t.range(0, 31, device)
        t.range(0, 7, function)
        t.bool(True)
        t.range(0, len(IDS) - 1, IDS.index(ident))
    t.bool(enum_pci is not None)
    if enum_pci is not None:
        t.range(0, 7, 0)
        t.range(0, 3, 0)
        t.range(0, 5, len(enum_pci))
        for ident, instances in enum_pci.items():
            t.bool(True)
            t.range(0, len(IDS) - 1, IDS.index(ident))
            t.bool(True)  # upper-case digits
            t.range(0, 3, 1)  # with &SUBSYS_00000000&REV_04
            t.range(0, 7, 0)
            t.range(0, 3, 0)
            t.range(0, 3, len(instances))
            for inst in instances:
                if isinstance(inst, tuple):
                    t.bool(True)
                    t.range(0, 2, inst[0])
                    t.range(0, 31, inst[1])
                    t.range(0, 7, inst[2])
                else:
                    t.bool(False)
                    t.bool(inst == "ROOT")
    t.bool(osr21 is not None)
    if osr21 is not None:
        names = ["USB Supplement to OSR2", "US", "usb", "", "USB"]
        t.range(0, 7, 0)
        t.range(0, 3, 0)
        t.range(0, 7, 0)
        t.bool(True)  # REG_SZ
        t.range(0, 2, 0)
        t.range(0, 4, names.index(osr21))
    if helper is None:
        t.range(0, 7, 7)
    else:
        h = dict(show=300, never_shows=False, button=0, work=200, ends=20000, code=0, crashes=False)
        h.update(helper)
        t.range(0, 7, 0)
        t.range(0, 3000, h["show"])
        t.range(0, 3, 3 if h["never_shows"] else 0)
        t.range(0, 3000, h["button"])
        t.range(0, 3000, h["work"])
        t.range(0, 20000, 20000 - h["ends"])
        exit_code(t, h["code"])
        t.range(0, 3, 3 if h["crashes"] else 0)
        t.bool(False)
        t.range(0, 2, 0)
    if applet is None:
        t.range(0, 7, 7)
    else:
        a = dict(start=500, dialog=100, opens=True, closes=60000)
        a.update(applet)
        t.range(0, 7, 0)
        t.range(0, 3000, a["start"])
        t.range(0, 1000, a["dialog"])
        t.range(0, 3, 0 if a["opens"] else 3)
        t.range(0, 60000, 60000 - a["closes"])
    t.range(0, 2, len(leftovers))
    for dialogs in leftovers:
        t.range(0, 3, dialogs)
        t.bool(False)  # owned by "RunDLL"
    programs = programs or {}
    for name in PROGRAMS:
        p = programs.get(name)
        if p is None:
            t.range(0, 5, 3)
        elif p == "refuses":
            t.range(0, 5, 4)
        elif p == "ends at once":
            t.range(0, 5, 5)
        else:
            t.range(0, 5, 0)
            exit_code(t, p[0])
            t.range(0, 5000, p[1])
    t.range(0, 4, len(answers))
    for answer in answers:
        t.range(0, 4, list(ANSWERS).index(answer))
    t.range(0, 60000, 60000 - answer_ms)
    t.range(0, 7, 7 if vanish is not None else 0)
    if vanish is not None:
        t.range(0, 12, vanish)
    return t.bytes()


def fdp_string(text):
    """A string as ConsumeRandomLengthString reads it: backslashes doubled, ended by a backslash and one more."""
    return text.replace("\\", "\\\\") + "\\x"


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


CARD = 0x56781234  # vendor 0x1234, device 0x5678
EXAMPLE = r"""[Application]
W95B=DetectCard,CheckPCIKey,ShowUSBMsg,Install,ExecReadme,End
W98=DetectCard,Install,ExecReadme,End
NT40=Install,ShowMsgNT
[SubDir]
W95B=\WIN95
W98=\WIN95
NT40=\NT40
[DetectCard]
1=4660,22136,PCI,1,0
2=4660,22137,AGP,1,0
[ExecReadme]
program=[CWD]\README.TXT,x,[CWD]
[Message]
NotSupport=This Windows version is not supported.
DetectCard=No supported display card was found.
CheckPCIKey=Windows has not yet detected the display card.\nPlease run Add New Hardware first.
ShowUSBMsg=The USB supplement is not installed.\n\nPress OK to continue or Cancel to quit.
ShowMsgNT=Follow the instructions of the Display Properties dialog.
"""


def setup_seeds():
    s = "setup_run"
    card = [(1, 0, 0, CARD)]
    write(s, "win98-detect-install-exec", EXAMPLE.encode() + pc(arguments=[], pci=card, helper={"code": 3}))
    write(s, "win95b-checkpcikey-usb-agp", EXAMPLE.replace("1=4660,22136,PCI", "1=4660,22136,agp").encode() +
          pc(arguments=[], version="win95", csd="B", pci=card, enum_pci={CARD: [(1, 0, 0), "000800"]},
             helper={}, answers=["ok"]))
    write(s, "win95b-usb-present-cancel", EXAMPLE.encode() +
          pc(arguments=[], version="win95", csd="B", pci=card, enum_pci={CARD: [(1, 0, 0)]},
             osr21="USB Supplement to OSR2", helper={}, answers=["cancel"]))
    write(s, "nt40-applet-chain", EXAMPLE.encode() + pc(arguments=[], version="nt40", applet={}, leftovers=[2]))
    write(s, "nt40-applet-closed-halfway", EXAMPLE.encode() +
          pc(arguments=[], version="nt40", applet={"closes": 1700}))
    write(s, "win98-helper-never-shows", EXAMPLE.encode() +
          pc(arguments=[], pci=card, helper={"never_shows": True, "ends": 2000, "code": 0xC0000005}))
    write(s, "win98-helper-crashes-on-click", EXAMPLE.encode() +
          pc(arguments=[], pci=card, helper={"crashes": True, "code": 0xC0000005}))
    write(s, "win98-script-vanishes", EXAMPLE.encode() + pc(arguments=[], pci=card, helper={}, vanish=3))
    write(s, "exec-tokens-long-directory", (
        "[Application]\nW98=Exec1,Exec2,ExecOS,ShowMsgBye\n"
        "[Exec1]\nprogram=[CWD]\\SETUP\\README.TXT,x,[CWD]\\SETUP\n"
        "[Exec2]\nprogram=a.exe,,,x,,[CWD]\n[ExecOS]\nprogram=[CWD][OS]\\b.exe,[cwd], dir\n"
        "[Message]\nShowMsgBye=Done:\\tbye\\N\\\n").encode() +
          pc(root="D:\\", dir_pieces=["L" * 64, "L" * 64, "[CWD]", "L" * 64], arguments=[" ", "\\DISK1"]))
    write(s, "walk-rules-and-long-list", (
        "[application]\nw98=,,detectcard2,Ending,End2, Exec,CheckPCIKey,ShowUSBMsgX,Install,Install,end\n"
        "[DetectCard2]\n1=70196,22136, AGP, 1,0\n2=0x1234,12AB\n3=4660,22136,agpXXXXXXXX,10\n"
        "[Message]\ndetectcard2=none\n").encode() +
          pc(arguments=[], pci=[(0, 9, 0, CARD), (1, 0, 1, CARD), (255, 31, 7, 0x56791234)],
             enum_pci={CARD: [(1, 0, 1)], 0x12345678: []}, helper={"show": 1000, "button": 250}))
    write(s, "unknown-version-empty-key", b"[Application]\n=ShowMsg\n[Message]\nShowMsg=empty key\n" +
          pc(arguments=[], version="win10"))
    write(s, "no-script", pc(arguments=[], cwd_fails=True))


def sequor_seeds():
    s = "sequor_run"
    progs = {"a.exe": (1, 500), "b.exe": (2, 300), "c.exe": (0, 10), "first.exe": (3, 0)}
    write(s, "list-and-reboot", "[ProcessList]\n1=a.exe,null\n2=[CWD]\\tools\\first.exe /q,[CWD]\\tools\n"
          "3=b.exe,C:\\work\n4=c.exe\n6=a.exe\n".encode() + pc(programs=progs, answers=["yes"]))
    write(s, "restart-no", b"[ProcessList]\n1=a.exe,NULL\n2=missing.exe,null\n" +
          pc(programs={"a.exe": (1, 10)}, answers=["no"]))
    write(s, "fields-and-nulls", b"[ProcessList]\n1=,a.exe,,C:\\work,extra\n2=a.exe, null\n3=null,C:\\work\n"
          b"4=NuLL\n5=,,,\n6=b.exe\n7=\n8=c.exe\n" + pc(programs={"a.exe": (0, 10), "b.exe": (0xFFFFFFFF, 10)}))
    write(s, "refused-and-ended-at-once", b"[ProcessList]\n1=a.exe\n2=b.exe\n3=c.exe\n" +
          pc(programs={"a.exe": "refuses", "b.exe": "ends at once", "c.exe": (2, 10)}, answers=["yes"]))
    write(s, "long-directory-expansion", b"[ProcessList]\n1=[CWD]\\a.exe [CWD],[CWD]\n2=b.exe,null\n" +
          pc(root="C:\\work", dir_pieces=["L" * 64, "L" * 64, "L" * 64, ",", "[CWD]", "\\"],
             programs={"a.exe": (1, 10), "b.exe": (1, 10)}))
    write(s, "list-vanishes", b"[ProcessList]\n1=a.exe\n2=b.exe\n3=c.exe\n" +
          pc(programs={"a.exe": (1, 10), "b.exe": (1, 10), "c.exe": (1, 10)}, vanish=2))
    write(s, "drive-root", b"[ProcessList]\n1=[CWD]\\a.exe,[CWD]\\\n" + pc(root="D:\\", programs={"a.exe": (2, 10)}))


def profile_seeds():
    s = "profile"
    corpus = os.path.join(HERE, "..", "e2e", "profile", "corpus")
    queries = [("Application", "W98"), ("section", "key"), ("", "first"), ("Message", "Quoted"), ("dup", "k")]
    for i, name in enumerate(sorted(n for n in os.listdir(corpus) if n.endswith(".ini"))):
        with open(os.path.join(corpus, name), "rb") as f:
            text = f.read()
        section, key = queries[i % len(queries)]
        for size in (7, 256):
            tail = bytes([0, size & 0xFF, size >> 8][::1])  # omit, then the size (high byte last)
            data = (fdp_string(section) + fdp_string(key) + fdp_string("def  ")).encode() + text + tail
            write(s, "%s-%d" % (name[:-4], size), data)
    write(s, "bom-utf8", fdp_string("S").encode() + fdp_string("k").encode() + b"\\x" +
          b"\xef\xbb\xbf[S]\r\nk = \"\xc3\xa9t\xc3\xa9\"\r\n" + bytes([0, 6, 0]))
    write(s, "null-key", (fdp_string("S") + fdp_string("") + fdp_string("d")).encode() + b"[S]\nk=v\n" +
          bytes([2, 9, 0]))


def text_seeds():
    s = "text"
    # The selector is the last byte; values consumed before the rest come just before it.
    write(s, "split", b",,a,,b c,, d," + bytes([4, 0, 0]))
    write(s, "split-cut", b"1234567,89" + bytes([3, 0, 0]))
    write(s, "decimal", b" \t-2147483649xyz" + bytes([1]))
    write(s, "decimal-long", b"+99999999999999999999" + bytes([1]))
    write(s, "escapes", b"Line one\\nLine two\\\\n\\N\\tx\\" + bytes([2]))
    write(s, "card-entry", b"4660,,agp,1x,0" + bytes([3]))
    write(s, "card-entry-blanks", b" 70196, 22136, AGP, 1,0" + bytes([3]))
    helper = (fdp_string("VEN_1234&DEV_5678") + fdp_string("BUS_01&DEV_00&FUNC_00") + fdp_string("D:\\WIN95")).encode()
    # The flag -1 (int minimum plus 0x7FFFFFFF), the size 77, the selector.
    write(s, "helper-command-line", helper + struct.pack(">I", 0x7FFFFFFF)[::-1] + bytes([76, 0, 4]))


def tokens_seeds():
    s = "tokens"
    # Path tokens: the size less one (two bytes, high last: 255 gives 256) and a false bool come last.
    path = (fdp_string("D:\\CD") + fdp_string("") + fdp_string("[CWD]\\SETUP\\README.TXT,x,[CWD]\\SETUP[OS]")).encode()
    write(s, "path-tokens", path + bytes([255, 0, 0]))
    self_ = (fdp_string("C:\\[CWD]") + fdp_string("[OS]") + fdp_string("[CWD][OS][CWD]")).encode()
    write(s, "path-tokens-self", self_ + bytes([255, 0, 0]))
    long_ = (fdp_string("D:\\" + "A" * 240) + fdp_string("") + fdp_string("[CWD]\\a.exe,x,d")).encode()
    write(s, "path-tokens-too-long", long_ + bytes([255, 0, 0]))
    # One token: "[CWD]" picked, the size 101, a true bool.
    one = (fdp_string("a[CWD]b") + fdp_string("x[CWD]y[CWD]")).encode()
    write(s, "one-token", one + bytes([0, 1, 100, 0, 1]))


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


def inf_seeds():
    s = "inf"
    root = os.path.join(HERE, "..", "..", "examples", "package")
    for folder in ("WIN95", "NT40"):
        with open(os.path.join(root, folder, "EXAMPLE.INF"), "rb") as f:
            example = f.read()
        write(s, "example-" + folder.lower(), example)
    with open(os.path.join(root, "WIN95", "EXAMPLE.INF"), "rb") as f:
        win95 = f.read().decode("latin-1")
    write(s, "utf16", utf16(win95))
    write(s, "utf8-mark", b"\xef\xbb\xbf" + win95.encode("latin-1"))
    write(s, "decorated", win95.replace("%Maker%=Maker", "%Maker%=Maker,NTx86,NT.5.1")
          .replace("[Maker]", "[Maker.NTx86]\r\nx=i,PCI\\VEN_1234&DEV_9999\r\n[Maker]"))
    write(s, "localized-and-continued", "[Version]\r\nSignature=\"$Windows 95$\"\r\n[Manufacturer]\r\n%m%=%sec%\r\n"
          "[Models Of A Long Name For Windows 98]\r\n\"a;b\"=i, \\\r\n  %id% ; c\r\n[Strings]\r\n"
          "sec=\"Models Of A Long Name For Windows 98\"\r\n[Strings.0407]\r\nid=\"PCI\\VEN_10DE&DEV_0020&SUBSYS_1\"\r\n"
          "m=\"%%M%%\"\r\n")


def infinstall_seeds():
    # The last byte: bit 0 NT 4.0, bit 1 every models line.
    s = "infinstall"
    root = os.path.join(HERE, "..", "..", "examples", "package")
    with open(os.path.join(root, "WIN95", "EXAMPLE.INF"), "rb") as f:
        write(s, "example-win95", f.read() + bytes([0]))
    with open(os.path.join(root, "NT40", "EXAMPLE.INF"), "rb") as f:
        write(s, "example-nt40", f.read() + bytes([3]))
    head = ("[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Display\r\nLayoutFile=LAYOUT.INF\r\n[Manufacturer]\r\n"
            "%M%=Maker\r\n[Maker]\r\n%Card%=Inst,PCI\\VEN_1234&DEV_5678\r\n")
    write(s, "disks", (head + "[Inst]\r\nCopyFiles=Copy,@%F%,Missing\r\n[Copy]\r\nA.DRV,,,2\r\nB.VXD,B.VX_\r\n"
                       "LongName.sys\r\n%F%\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\nCopy=12,SUB\r\n"
                       "[SourceDisksNames]\r\n1=\"CD\",LABEL,0,\\BIN\r\n[SourceDisksNames.x86]\r\n2=\"CD\",tag,,\\I386\r\n"
                       "[SourceDisksFiles]\r\nA.DRV=1,..\\SUB\r\nB.VX_=3\r\n[SourceDisksFiles.x86]\r\nLongName.sys=2\r\n"
                       "[Strings]\r\nM=\"Maker\"\r\n[Strings.0409]\r\nF=\"C.DLL\"\r\nCard=\"Card\"\r\n").encode() + bytes([0]))
    write(s, "self-and-loops", (head + "[Inst]\r\nCopyFiles=Inst,A,A,B\r\n[A]\r\nCopyFiles=B\r\n[B]\r\n"
                                "CopyFiles=A\r\nBAD\x01\x1b.DRV\r\n").encode() + bytes([2]))
    write(s, "nt-display", (head.replace("$CHICAGO$", "$Windows NT$") +
                            "[Inst]\r\nCopyFiles=Dll\r\n[Dll]\r\nx.dll\r\n[Inst.Services]\r\nAddService=x,2,Svc\r\n"
                            "[Svc]\r\nServiceBinary=%12%\\x.sys\r\n[Inst.SoftwareSettings]\r\nAddReg=R\r\n[R]\r\n"
                            "HKR,,InstalledDisplayDrivers,0x10000,x,y\r\n").encode() + bytes([1]))


def autorun_seeds():
    s = "autorun"
    write(s, "drivers", "[autorun]\r\nopen=DRIVERS\\SETUP.EXE \\DRIVERS\r\nicon=DRIVERS\\SETUP.EXE,0\r\n")
    write(s, "quoted", "[AutoRun]\nopen=\"My Drivers\\setup.exe\"   \\My Drivers\nicon = cd.ico\n[autorun]\nopen=x\n")
    write(s, "drive-and-blanks", "; CD\n[autorun]\nopen=D:\\SETUP \t\nicon=\n")
    write(s, "utf16", utf16("[autorun]\r\nopen=SETUP.EXE\r\n"))
    write(s, "utf8-mark", b"\xef\xbb\xbf[autorun]\r\nopen=\\\\SETUP.EXE \\\r\n")


def captures_seeds():
    s = "captures"
    write(s, "lspci", b"00:00.0 0600: 8086:1237 (rev 02)\n00:02.0 0300: 1013:00b8\n0001:00:00.0 0300: 1234:1111\n"
          b"01:00.0 VGA compatible controller [0300]: Maker [1002:5159]\n\tSubsystem: x [1af4:1100]\n" + bytes([0]))
    write(s, "lspci-bad", b"00:1f.7 0300: 1013:00b8\n00:1f.7 0300: 1013:00b8\n" + bytes([0]))
    write(s, "regedit4", b"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1013&DEV_00B8\\BUS_00&DEV_02&FUNC_00]\r\n"
          b"\"DeviceDesc\"=\"A \\\"card\\\"\"\r\n\"Flags\"=hex:00,\\\r\n  01\r\n@=dword:00000014\r\n"
          b"\"Path\"=hex(2):43,3a,00\r\n[HKEY_CURRENT_USER\\X]\r\n\"y\"=\"z\"\r\n" + bytes([1]))
    write(s, "regedit5-utf16", utf16("Windows Registry Editor Version 5.00\r\n[HKLM\\X]\r\n\"a\"=-\r\n") + bytes([1]))


if __name__ == "__main__":
    setup_seeds()
    sequor_seeds()
    profile_seeds()
    text_seeds()
    tokens_seeds()
    inf_seeds()
    infinstall_seeds()
    autorun_seeds()
    captures_seeds()
