#!/usr/bin/env python3
"""pkgtool new on a package of our own in the shapes of real display drivers
(drafts/quill: several cards per INF, English and German lines, a chip
served only by subsystem, two INFs serving one card, an NT 4.0 display INF,
a network INF in a folder of its own): the draft passes check with no
error, and `run --card` installs for every card of its [DetectCard] on W95B,
W98 and NT40; two drafts are the same bytes, and --print gives them too; a
second `new` leaves the script alone and exits 1; `new --update` after hand
edits (a message reworded, the last DetectCard entry deleted, a comment
added, CR LF line ends) keeps every edited byte and brings the entry back,
and a second --update changes nothing; a folder with no display driver gets
no script.

Leaves out: the wording of the draft's comments (the author's path page
shows them, and its test holds them to the tool's output).

usage: draft_test.py PKGTOOL DRAFTS_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL %s" % what, flush=True)
    return condition


def run(*cmd):
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return out.returncode, out.stdout.decode("utf-8", "replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    tool, drafts = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp()
    try:
        pkg, twin = os.path.join(work, "quill"), os.path.join(work, "twin")
        shutil.copytree(os.path.join(drafts, "quill"), pkg)
        shutil.copytree(os.path.join(drafts, "quill"), twin)
        script = os.path.join(pkg, "SETUP.INI")

        rc, out = run(tool, "new", pkg, "--agp", "1ab3:4001")
        check(rc == 0 and re.search(r"^0 errors, ", out, re.M), "new: status %d, check not clean:\n%s" % (rc, out))
        rc, check_out = run(tool, "check", pkg)
        check(rc == 0, "check of the draft: status %d\n%s" % (rc, check_out))
        draft = read(script)
        entries = re.findall(rb"^(\d+)=(\d+),(\d+),(PCI|AGP),1,0\r?$", draft, re.M)
        check(len(entries) == 5, "the draft has %d DetectCard entries, not the package's 5 cards" % len(entries))
        check(any(e[3] == b"AGP" and int(e[2]) == 0x4001 for e in entries), "--agp 1ab3:4001 gives no AGP entry")
        for os_key in ("W95B", "W98", "NT40"):
            for _n, vendor, device, _bus in entries:
                card = "%04x:%04x" % (int(vendor), int(device))
                rc, out = run(tool, "run", pkg, "--os", os_key, "--card", card)
                check(rc == 0 and "installed the driver" in out.splitlines()[-1],
                      "run --os %s --card %s: status %d, %s" % (os_key, card, rc, out.splitlines()[-1]))

        run(tool, "new", twin, "--agp", "1ab3:4001")
        check(read(os.path.join(twin, "SETUP.INI")) == draft, "two drafts of one folder differ")
        printed = subprocess.run([tool, "new", "--print", twin, "--agp", "1ab3:4001"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, timeout=60).stdout
        check(printed == draft, "--print differs from the written draft")

        rc, out = run(tool, "new", pkg)
        check(rc == 1 and "never overwrites" in out and read(script) == draft,
              "a second new: status %d, %s" % (rc, out))

        # Hand edits, in CR LF as an editor on Windows saves them.
        text = draft.decode("latin-1")
        text = text.replace("DetectCard=Setup found no display card in this computer that this driver supports.",
                            "DetectCard=No Quill Video card was found.")
        lines = text.split("\n")
        last = max(i for i, l in enumerate(lines) if re.match(r"\d+=", l))
        first = last
        while lines[first - 1].startswith("; 1AB3") or lines[first - 1].startswith("; WARNING"):
            first -= 1
        del lines[first:last + 1]
        lines.insert(lines.index("[SubDir]"), "; our own note: the folders stay in capitals")
        edited = "\r\n".join(lines).encode("latin-1")
        with open(script, "wb") as f:
            f.write(edited)
        rc, out = run(tool, "new", "--update", pkg)
        updated = read(script)
        check(rc == 0 and "added" in out, "--update: status %d\n%s" % (rc, out))
        added = updated.split(b"\r\n")
        kept = [l for l in added if l not in edited.split(b"\r\n")]
        check(any(re.match(rb"5=6835,16386,PCI,1,0$", l) for l in kept), "--update did not bring back the card 4002")
        check(b"\n" not in updated.replace(b"\r\n", b""), "--update wrote a line end other than the script's CR LF")
        # Every edited byte stays: taking the added lines out gives the edited script.
        rest = [l for l in added if l not in kept]
        check(b"\r\n".join(rest) == edited, "--update changed bytes of the edited script")
        rc, out = run(tool, "new", "--update", pkg)
        check(rc == 0 and "nothing to add" in out and read(script) == updated,
              "a second --update: status %d, %s" % (rc, out.splitlines()[0] if out else ""))
        # A UTF-16 script gets no ANSI lines, and a script too large to read whole is not cut.
        for name, body in (("utf-16", b"\xff\xfe[\x00A\x00]\x00"), ("large", b"x" * (1 << 20 | 1))):
            with open(script, "wb") as f:
                f.write(body)
            rc, out = run(tool, "new", "--update", pkg)
            check(rc == 1 and read(script) == body, "--update of a %s script: status %d, %s" % (name, rc, out))
        # A folder without a display driver gets no script that looks finished.
        empty = os.path.join(work, "empty")
        shutil.copytree(os.path.join(drafts, "quill", "NET"), empty)
        rc, out = run(tool, "new", empty)
        check(rc == 1 and not os.path.exists(os.path.join(empty, "SETUP.INI")) and "draft-inf-class" in out,
              "new on a folder with a network INF only: status %d, %s" % (rc, out))
    finally:
        shutil.rmtree(work)
    if not FAILURES:
        print("PASS")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
