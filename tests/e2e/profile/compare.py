#!/usr/bin/env python3
"""Compares the host's profile reader with Wine's GetPrivateProfileStringA.

Runs profdump.exe (the platform's reader) in a fresh 32-bit Wine prefix and
profhost (sim::ReadProfileString) on the same corpus and query list, and
reports every query whose return value, buffer bytes or termination differ.
The corpus is the static files in corpus/ plus the files made here, whose
bytes (line endings, NULs, control bytes, byte-order marks, sizes) would not
survive an editor or a checkout. The list forms (null section or key) are
left out: the host answers them with an empty list on purpose.

Usage: compare.py PROFDUMP.EXE PROFHOST
Exit: 0 same, 1 differences or a failed run, 77 Wine is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "harness"))
import winetest  # noqa: E402

WINE = winetest.WINE
WINESERVER = winetest.WINESERVER


def generated_files():
    """Returns (files, queries): corpus files as bytes and query lines for them."""
    files, queries = {}, []

    def q(name, section, key, default="DEF", size=64):
        queries.append("\t".join([name, section, key, default, str(size)]))

    body = [b"[S]", b"A=1", b"B = two ", b"C=last"]
    for name, sep in [("crlf.ini", b"\r\n"), ("lf.ini", b"\n"), ("cr.ini", b"\r"), ("lfcr.ini", b"\n\r")]:
        files[name] = sep.join(body) + sep
        files["nofinal-" + name] = sep.join(body)
        for key in ["A", "B", "C"]:
            q(name, "S", key)
            q("nofinal-" + name, "S", key)
    files["mixed.ini"] = b"[S]\r\nA=1\rB=2\n\n\r\r\nC=3\x1a"
    for key in ["A", "B", "C"]:
        q("mixed.ini", "S", key)

    # Not "nul.ini": to the platform that names the NUL device.
    files["nulbytes.ini"] = (b"[S]\nLead=\x00hidden\nMid=ab\x00cd\nTail=ab  \x00  \n\x00Hidden=x\n"
                        b"Cut\x00off=name ends at the NUL\nSp \x00=blank before NUL\n"
                        b"[N\x00ame]\nK=section name ends at the NUL\n[Q]\nQ=\"ab\x00\"\n")
    for section, key in [("S", "Lead"), ("S", "Mid"), ("S", "Tail"), ("S", "Hidden"), ("S", "Cut"),
                         ("S", "Sp"), ("S", "Sp "), ("N", "K"), ("Q", "Q")]:
        q("nulbytes.ini", section, key)

    # Each byte as a would-be blank around a value and around a name.
    blanks = [b"[B]"]
    for b in range(1, 256):
        if b in (0x0a, 0x0d):
            continue
        c = bytes([b])
        blanks.append(b"v%02x=" % b + c + b"v" + c)
        blanks.append(c + b"n%02x" % b + c + b"=n")
        q("blanks.ini", "B", "v%02x" % b)
        q("blanks.ini", "B", "n%02x" % b)
        q("blanks.ini", "\\x%02xB" % b, "n%02x" % b)
    files["blanks.ini"] = b"\n".join(blanks) + b"\n"

    # Keys in byte order: a query answers with the first byte that compares
    # equal to its own, which maps out the case folding.
    folds = [b"[C]"]
    for b in range(0x21, 256):
        if b in (0x3b, 0x3d, 0x5b):
            continue
        folds.append(b"k" + bytes([b]) + b"=%02x" % b)
        q("case.ini", "C", "k\\x%02x" % b)
    folds += [b"[\xe9]", b"k=e acute", b"[\xc9]", b"k=E acute"]
    q("case.ini", "\\xc9", "k")
    q("case.ini", "\\xe9", "k")
    files["case.ini"] = b"\n".join(folds) + b"\n"

    text = "[S]\r\nK=v\u00e9\r\nQ=\"x\"\r\n"
    files["utf8bom.ini"] = b"\xef\xbb\xbf" + text.encode("utf-8")
    files["utf16le.ini"] = b"\xff\xfe" + text.encode("utf-16-le")
    files["utf16be.ini"] = b"\xfe\xff" + text.encode("utf-16-be")
    files["notbom.ini"] = b"\xef\xbb[S]\nK=v\n"
    for name in ["utf8bom.ini", "utf16le.ini", "utf16be.ini"]:
        q(name, "S", "K")
        q(name, "S", "Q")
    q("notbom.ini", "S", "K")
    q("notbom.ini", "\\xef\\xbb[S]", "K")

    files["empty.ini"] = b""
    files["blank.ini"] = b" \r\n\t\n"
    q("empty.ini", "S", "K")
    q("empty.ini", "", "K")
    q("blank.ini", "", "")

    # Wine mangles argument strings of 32767 characters or more (16-bit
    # lengths), so the queries stay below that; the file has no such limit.
    value = b"x" * 100000
    name = "N" * 32000
    files["long.ini"] = (b"[L]\nV=" + value + b"\n" + name.encode() + b"=long name\n[" + b"H" * 30000 + b"]\nK=long header\n"
                         + b"[M]\n" + b"".join(b"k%d=v%d\n" % (i, i) for i in range(20000)))
    for size in [100002, 100001, 100000, 65536, 2]:
        q("long.ini", "L", "V", "DEF", size)
    q("long.ini", "L", name)
    q("long.ini", "H" * 30000, "K")
    q("long.ini", "M", "k19999")
    q("long.ini", "L", "Missing", "d" * 32766, 32767)
    q("long.ini", "L", "Missing", "d" * 32766, 300)

    files["huge.ini"] = b"".join(b"[s%d]\nkey=%s\n" % (i, b"y" * 200) for i in range(20000)) + b"[End]\nLast=found\n"
    q("huge.ini", "End", "Last")
    q("huge.ini", "s19999", "key", "DEF", 10)
    return files, queries


def run(cmd, env, timeout, log):
    with open(log, "wb") as out:
        return subprocess.run(cmd, env=env, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode


def read_results(path):
    results = {}
    with open(path, "rb") as f:
        for raw in f:
            parts = raw.rstrip(b"\n").split(b"\t")
            if len(parts) == 4:
                results[int(parts[0])] = parts[1:]
    return results


def describe(line):
    fields = line.split("\t")
    shown = [f if len(f) <= 40 else f[:40] + "...(%d chars)" % len(f) for f in fields]
    return "file %s [%s] key '%s' default '%s' size %s" % tuple(shown)


def short(result):
    if result is None:
        return "<no answer>"
    ret, buf, state = (x.decode("latin-1") for x in result)
    if len(buf) > 60:
        buf = buf[:60] + "...(%d chars)" % len(buf)
    return "ret %s '%s' %s" % (ret, buf, state)


def compare(query_file, wine_out, host_out):
    lines = open(query_file, encoding="latin-1").read().split("\n")
    wine, host = read_results(wine_out), read_results(host_out)
    numbers = [i + 1 for i, l in enumerate(lines) if l and not l.startswith("#")]
    differ = 0
    for n in numbers:
        if wine.get(n) != host.get(n):
            differ += 1
            print("query line %d: %s\n  wine: %s\n  host: %s" % (n, describe(lines[n - 1]), short(wine.get(n)), short(host.get(n))))
    print("%d queries, %d differ" % (len(numbers), differ))
    return differ == 0 and len(wine) == len(numbers)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 1
    profdump, profhost = (os.path.abspath(p) for p in sys.argv[1:])
    reason = winetest.unusable_reason(need_display=False)
    if reason:
        print("SKIP: %s" % reason)
        return winetest.SKIP
    for p in (profdump, profhost):
        if not os.path.isfile(p):
            print("missing binary: %s" % p)
            return 1

    tmp = tempfile.mkdtemp(prefix="profile-wine-")
    prefix = os.path.join(tmp, "prefix")
    env = dict(os.environ, WINEARCH="win32", WINEPREFIX=prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8",
               WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=;winedbg.exe=d")
    env.pop("DISPLAY", None)
    try:
        if run([WINE, "wineboot", "-i"], env, 180, os.path.join(tmp, "wineboot.log")) != 0:
            print("wineboot failed; see the log above the prefix")
            print(open(os.path.join(tmp, "wineboot.log"), errors="replace").read())
            return 1
        drive_c = os.path.join(prefix, "drive_c")
        corpus = os.path.join(drive_c, "corpus")
        shutil.copytree(os.path.join(HERE, "corpus"), corpus, ignore=shutil.ignore_patterns("queries.txt"))
        files, generated = generated_files()
        for name, data in files.items():
            with open(os.path.join(corpus, name), "wb") as f:
                f.write(data)
        queries = os.path.join(drive_c, "queries.txt")
        with open(os.path.join(HERE, "corpus", "queries.txt"), encoding="latin-1") as f:
            static = f.read().rstrip("\n").split("\n")
        with open(queries, "w", encoding="latin-1", newline="\n") as f:
            f.write("\n".join(static + ["# made by compare.py"] + generated) + "\n")
        shutil.copy(profdump, os.path.join(drive_c, "profdump.exe"))

        wine_out, host_out = os.path.join(drive_c, "wine.txt"), os.path.join(tmp, "host.txt")
        rc = run([WINE, "C:\\profdump.exe", "C:\\corpus", "C:\\queries.txt", "C:\\wine.txt"], env, 300,
                 os.path.join(tmp, "profdump.log"))
        if rc != 0 or not os.path.exists(wine_out):
            print("profdump under Wine failed with %d:" % rc)
            print(open(os.path.join(tmp, "profdump.log"), errors="replace").read())
            return 1
        rc = run([profhost, corpus, queries, host_out], os.environ, 120, os.path.join(tmp, "profhost.log"))
        if rc != 0:
            print("profhost failed with %d:" % rc)
            print(open(os.path.join(tmp, "profhost.log"), errors="replace").read())
            return 1
        return 0 if compare(queries, wine_out, host_out) else 1
    except subprocess.TimeoutExpired as e:
        print("timed out: %s" % " ".join(e.cmd))
        return 1
    finally:
        for args in (["-k"], ["-w"]):
            try:
                subprocess.run([WINESERVER] + args, env=env, timeout=60,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                print("wineserver %s timed out" % args[0])
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
