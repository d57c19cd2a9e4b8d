#!/usr/bin/env python3
"""The install model against a setupapi that is not ours: for each INF of the
test packages (tests/tool/infshapes), infqueue.exe queues under Wine what
Wine's own setupapi copies for every models line, and infmodel prints what
pkgtool's model resolves as Windows NT 4.0 reads the file with every models
line. Per install section and target name, the source paths relative to the
INF's folder must agree, and the install sections (those the file has) must
be the same.

Wine is no NT 4.0, and the tool is not bent to it. Where they part, the
difference is listed in EXPECTED with its reason; an unexplained difference
fails, and so does an explanation that no longer matches what is seen.
Measured on Wine 8.0:
- Wine reads only the undecorated [SourceDisksNames] and [SourceDisksFiles]:
  an entry of [SourceDisksFiles.x86] or [SourceDisksNames.x86] is not used,
  and the file is queued from beside the INF. NT 4.0's setup functions take
  the .x86 sections where they exist, else the undecorated ones (Platform
  SDK, Setup API, "Authoring an INF File").
- Wine's prefix has no LAYOUT.INF (SetupOpenAppendInfFileA fails with
  error 2), so LayoutFile= brings nothing in, and a file that the INF's own
  [SourceDisksFiles] lacks is queued from beside the INF; Windows takes it
  from its own layout, the Windows CD.
- A disk number that [SourceDisksNames] lacks: Wine queues the file from
  beside the INF. No document of the time says what NT 4.0 does.
infqueue.exe takes the install section that SetupDiGetActualSectionToInstallA
picks, which prefers a .NTx86 or .NT form; no test INF decorates its install
sections, so that choice, whose NT 4.0 side the tool decides, is not tested.
Not compared: the target folders (Wine maps directory ids as NT does, 12
being system32\\drivers where Windows 95/98 have IOSUBSYS, and it copies a
9x INF's files without DefaultDestDir to system32, not to the Windows
folder), and what only Windows 95/98 do: Wine reads a $Chicago$ INF as NT
does, and it takes a UTF-16 INF, which 95/98 skip (NT 4.0 reads one too, so
edges/WIDE16.INF is compared).

usage: infqueue_test.py INFMODEL INFSHAPES_DIR [inf-filter...]
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402

ROOT = "C:\\shapes"
X86 = ("Wine 8.0 reads only the undecorated [SourceDisksNames] and [SourceDisksFiles]; "
       "NT 4.0 reads the .x86 section first")
LAYOUT = ("LayoutFile=: Wine's prefix has no LAYOUT.INF, so Wine looks beside the INF; "
          "Windows takes the file from its own layout (the Windows CD)")

# (INF, install section, target name) -> (model's source, Wine's source, why).
# Sources relative to the INF's folder; "<layout>" is Windows's own layout.
EXPECTED = {
    ("disks/NT40/QUILLNT.INF", "quill", "quill.sys"): ("i386\\quill.sys", "quill.sys", X86),
    ("disks/NT40/QUILLNT.INF", "quill", "quill.dll"): ("i386\\quill.dll", "quill.dll", X86),
    ("disks/NT40/QUILLNT.INF", "quill", "quillgl.dll"): ("i386\\quillgl.dll", "quillgl.dll", X86),
    ("disks/NT40/QUILLNT.INF", "quill_lite", "quill.sys"): ("i386\\quill.sys", "quill.sys", X86),
    ("disks/NT40/QUILLNT.INF", "quill_lite", "quill.dll"): ("i386\\quill.dll", "quill.dll", X86),
    # Listed in the undecorated [SourceDisksFiles], on a disk that only
    # [SourceDisksNames.x86] defines.
    ("disks/NT40/QUILLNT.INF", "quill_lite", "quillvp.dll"): ("i386\\quillvp.dll", "quillvp.dll", X86),
    ("edges/EDGES.INF", "edge2", "e.dll"): (
        "<none>", "e.dll", "disk 9 is not in [SourceDisksNames]: Wine 8.0 looks beside the INF; no document of the "
        "time says what NT 4.0 does, and the tool reports a file without a source"),
    ("layout/WIN9X/QVLAYOUT.INF", "qvbasic", "vgafull.3gr"): ("<layout>", "vgafull.3gr", LAYOUT),
    ("layout/WIN9X/QVLAYOUT.INF", "qvbasic", "supervga.drv"): ("<layout>", "supervga.drv", LAYOUT),
}


def test_infs(shapes):
    found = []
    for top, _dirs, files in os.walk(shapes):
        found += [os.path.relpath(os.path.join(top, n), shapes).replace(os.sep, "/")
                  for n in files if n.upper().endswith(".INF")]
    return sorted(found)


def model(infmodel, path):
    """({(section, target): source}, {sections}, [notices]) as the tool resolves it for NT 4.0."""
    out = subprocess.run([infmodel, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    text = out.stdout.decode("latin-1")
    wt.check(out.returncode == 0, "infmodel %s exited %d:\n%s" % (path, out.returncode, text))
    copies, sections, notices = {}, set(), []
    for line in text.splitlines():
        f = line.split("\t")
        if f[0] == "install":
            sections.add(f[1].lower())
        elif f[0] == "copy":
            source = f[3] if f[2] == "package" else "<%s>" % f[2]
            copies[(f[1].lower(), f[4].lower())] = source.lower()
        elif f[0] == "notice":
            notices.append(line)
    return copies, sections, notices


def oracle(prefix, exe, inf):
    """The same from Wine's setupapi: infqueue.exe's records, sources made relative to the INF's folder."""
    win_inf = ROOT + "\\" + inf.replace("/", "\\")
    folder = win_inf.rsplit("\\", 1)[0].lower() + "\\"
    out = "C:\\queue.txt"
    if os.path.exists(prefix.host_path(out)):
        os.remove(prefix.host_path(out))
    rc, text = prefix.wine([exe, win_inf, out], timeout=120, check=False)
    wt.check(rc == 0, "infqueue.exe %s exited %d: %s" % (inf, rc, text))
    with open(prefix.host_path(out), encoding="latin-1") as f:
        records = [line.rstrip("\n").split("\t") for line in f]
    copies, sections = {}, set()
    for r in records:
        if r[0] == "install" and r[4] == "1":
            sections.add(r[3].lower())
        elif r[0] == "copy":
            # "\\lead" of a disk path comes out doubled; the file system takes both alike.
            source = re.sub(r"\\+", r"\\", r[2].lower())
            if source.startswith(folder):
                source = source[len(folder):]
            copies[(r[1].lower(), r[3].rsplit("\\", 1)[-1].lower())] = source
        elif r[0] == "fail" and r[1] != "append-layout":  # most INFs have no LayoutFile=
            wt.check(False, "infqueue.exe %s: %s failed with %s" % (inf, r[1], r[2]))
    return copies, sections


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__)
        return 2
    infmodel, shapes, only = os.path.abspath(args[0]), os.path.abspath(args[1]), args[2:]
    wt.require_tools(need_display=False)
    # Nothing here shows a window: the prefix needs no display, so none of
    # the doubles that hold one (the harness takes them from this variable).
    doubles = os.environ.pop("WINETEST_DOUBLES", "")
    exe = os.path.join(doubles, "infqueue.exe")
    if not os.path.isfile(exe):
        print("infqueue.exe missing in %r (build the win32 tree first)" % doubles)
        return 1
    infs = test_infs(shapes)
    totals = {"files": 0, "agree": 0, "differ": 0}
    seen_expected = set()
    with wt.WinePrefix(display=None, doubles=None) as prefix:
        shutil.copytree(shapes, prefix.host_path(ROOT))
        shutil.copy(exe, prefix.host_path("C:\\infqueue.exe"))

        def compare(case):
            inf = case["name"]
            ours, our_sections, notices = model(infmodel, os.path.join(shapes, inf))
            wine, wine_sections = oracle(prefix, "C:\\infqueue.exe", inf)
            for n in notices:
                print("  %s: model %s" % (inf, n))
            problems = []
            if our_sections != wine_sections:
                problems.append("install sections: model %s, Wine %s" % (sorted(our_sections), sorted(wine_sections)))
            for key in sorted(set(ours) | set(wine)):
                section, target = key
                totals["files"] += 1
                mine, theirs = ours.get(key), wine.get(key)
                if mine == theirs:
                    totals["agree"] += 1
                    print("  agree   [%s] %s <- %s" % (section, target, mine))
                    continue
                totals["differ"] += 1
                expected = EXPECTED.get((inf, section, target))
                if expected and expected[:2] == (mine, theirs):
                    seen_expected.add((inf, section, target))
                    print("  differ  [%s] %s: model %s, Wine %s: %s" % (section, target, mine, theirs, expected[2]))
                else:
                    problems.append("[%s] %s: model %s, Wine %s%s" % (
                        section, target, mine, theirs,
                        " (expected model %s, Wine %s)" % expected[:2] if expected else ""))
            wt.check(not problems, "%s: unexplained differences:\n  %s" % (inf, "\n  ".join(problems)))

        cases = [dict(name=inf) for inf in infs]
        ran = [inf for inf in infs if not only or any(o in inf for o in only)]
        try:
            wt.run_cases(cases, compare, only)
        except SystemExit as done:
            stale = [k for k in EXPECTED if k not in seen_expected and (not only or any(o in k[0] for o in only))]
            for k in stale:
                print("FAIL explained difference not seen: %s [%s] %s" % k)
            print("%d test INFs, %d files: %d agree, %d differ (%d explained)"
                  % (len(ran), totals["files"], totals["agree"], totals["differ"], len(seen_expected)))
            return 1 if stale else done.code


if __name__ == "__main__":
    sys.exit(main())
