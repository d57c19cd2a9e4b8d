#!/usr/bin/env python3
"""pkgtool's JSON, for scripts: every command's output, on the example
package as it is and with a newcomer's slips, validates against
docs/pkgtool.schema.json (schema_check.py), and the exit statuses are the
documented ones: run 0 when the driver gets installed, 1 when not, 2 for a
wrong command line; check and cd 0 or 1 by their errors. Where run stops,
it names the code that check gives for the same package. Every error and
warning has a fix, the text that ends its message.

Leaves out: the texts themselves (the unit tests hold them).

usage: json_test.py PKGTOOL EXAMPLE_PACKAGE
Exit status 77 (skipped) without the jsonschema module.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import schema_check  # noqa: E402
import cd_test  # noqa: E402

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL %s" % what, flush=True)


def tool(pkgtool, *args):
    out = subprocess.run([pkgtool] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                         env=dict(os.environ, SOURCE_DATE_EPOCH="946684800"))
    doc = None
    if "--json" in args and out.returncode != 2:
        try:
            doc = json.loads(out.stdout)
        except ValueError as e:
            check(False, "pkgtool %s: not JSON (%s): %r" % (" ".join(args), e, out.stdout[:200]))
            return out.returncode, None
        found = schema_check.problems(doc)
        check(not found, "pkgtool %s: against the schema:\n  %s" % (" ".join(args), "\n  ".join(found)))
        docs = doc if isinstance(doc, list) else [doc]
        status = {d["exitStatus"] for d in docs}
        check(status == {out.returncode},
              "pkgtool %s: exitStatus %s, exit status %d" % (" ".join(args), status, out.returncode))
        # Each error and warning advises this package: its fix ends the message.
        for d in docs:
            for f in d["findings"]:
                check(f["severity"] == "note" or (f["fix"] and f["message"].endswith(f["fix"])),
                      "pkgtool %s: %s without its own fix: %r" % (" ".join(args), f["code"], f))
    return out.returncode, doc


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    pkgtool, example = (os.path.abspath(a) for a in sys.argv[1:])
    try:
        schema_check.validator()
    except ImportError:
        print("SKIP: no jsonschema module (package python3-jsonschema)")
        return 77
    tmp = tempfile.mkdtemp(prefix="json-test-")
    try:
        def copy(name, slip=None):
            d = os.path.join(tmp, name)
            shutil.copytree(example, d)
            if slip:
                slip(d)
            return d

        whole = copy("whole")
        no_nt40 = copy("no-nt40", lambda d: shutil.rmtree(os.path.join(d, "NT40")))
        no_drv = copy("no-drv", lambda d: os.remove(os.path.join(d, "WIN95", "EXAMPLE.DRV")))
        disc = copy("disc")
        for name in ("setup.exe", "Sequor.exe", "fitter16.exe"):
            with open(os.path.join(disc, name), "wb") as f:
                f.write(b"MZ")

        # run: 0 installed, 1 not, and the step where it stops has check's code.
        cases = [
            (whole, ["--card", "1234:5679"], 0, None),
            (whole, [], 0, None),
            (whole, ["--os", "NT40"], 0, None),
            (whole, ["--os", "1.4.0:C"], 1, None),  # WIN95: no list, NotSupport
            (whole, ["--no-card"], 1, None),
            (no_nt40, ["--os", "NT40"], 1, "install-stops"),
            (no_drv, [], 1, "install-stops"),
            (disc, ["--program", "sequor"], 0, None),
            (whole, ["--program", "sequor"], 1, None),  # setup.exe is not there to start
            # --all: every path; the failing ones are those the script means to install.
            (whole, ["--all"], 0, None),
            (no_drv, ["--all"], 1, "W95A W95B W95C W98"),
        ]
        for folder, opts, status, stop in cases:
            rc, doc = tool(pkgtool, "run", folder, "--json", *opts)
            what = "run %s %s" % (os.path.basename(folder), " ".join(opts))
            check(rc == status, "%s: exit status %d, not %d" % (what, rc, status))
            if doc is None:
                continue
            if "--all" in opts:
                failing = [p["path"] for p in doc if p["path"]["kind"] == "failed"]
                keys = sorted({p["osKey"] for p in doc if p["path"]["kind"] == "failed"})
                check(all(p["path"]["meantToInstall"] and not p["installed"] for p in doc
                          if p["path"]["kind"] == "failed"), "%s: a failing path is one meant to install" % what)
                check(" ".join(keys) == (stop or ""), "%s: failing paths %r" % (what, failing))
                check({p["osKey"] for p in doc} >= {"W95A", "W95B", "W95C", "W98", "WIN95", "NT40", "NT35X",
                                                    "NT31", "WINNT", None}, "%s: every OS key" % what)
                continue
            check(doc["installed"] == (status == 0), "%s: installed %s" % (what, doc["installed"]))
            if stop:
                steps = [s for s in doc["steps"] if s["kind"] == stop]
                check(len(steps) == 1, "%s: one %s step: %r" % (what, stop, doc["steps"]))
                _, checked = tool(pkgtool, "check", folder, "--json")
                codes = {f["code"] for f in checked["findings"] if f["severity"] == "error"}
                check(steps and steps[0]["code"] in codes,
                      "%s stops with %s, which check does not give: %s" % (what, steps and steps[0]["code"], codes))
                check(steps and doc["findings"] and doc["findings"][0]["code"] == steps[0]["code"],
                      "%s: the run's findings start with its stop: %r" % (what, doc["findings"]))

        # A package in code page 932: the box, the file opened and the program
        # started hold the text Windows shows, as Unicode, with the bytes beside.
        jp = copy("jp", cd_test.make_cp932)
        for name in ("setup.exe",):
            with open(os.path.join(jp, name), "wb") as f:
                f.write(b"MZ")
        rc, doc = tool(pkgtool, "run", jp, "--json", "--codepage", "932", "--no-card")
        boxes = [st for st in doc["steps"] if st["kind"] == "box"] if doc else []
        message = "対応する表示カードが見つかりません。\r\nソフトを確認してください。"
        check(rc == 1 and boxes and boxes[0]["text"] == message and
              bytes.fromhex(boxes[0]["textBytes"]) == message.encode("cp932"),
              "run --codepage 932: the box's text as Unicode and its bytes: %r" % boxes)
        rc, doc = tool(pkgtool, "run", jp, "--json", "--codepage", "932")
        opened = [st["file"] for st in doc["steps"] if st["kind"] == "opened"] if doc else []
        check(rc == 0 and opened == ["D:\\CD\\表示.TXT"], "run --codepage 932: the README opened: %r" % opened)
        rc, doc = tool(pkgtool, "run", jp, "--json", "--codepage", "932", "--program", "sequor", "--helper-exit", "2",
                       "--answer", "No")
        started = [st["commandLine"] for st in doc["steps"] if st["kind"] == "started"] if doc else []
        runs = [st["run"] for st in doc["steps"] if st["kind"] == "setup"] if doc else []
        check(rc == 1 and doc["declined"] and started[-1] == '"D:\\CD\\ソフト\\JREBOOT.EXE"' and runs and
              runs[0]["exitCode"] == 2, "run --program sequor of the Japanese package: %d %r" % (rc, doc))

        # check and cd: 0 clean or warnings, 1 errors.
        for folder, status in ((whole, 0), (no_nt40, 1)):
            rc, _ = tool(pkgtool, "check", folder, "--json")
            check(rc == status, "check %s: exit status %d, not %d" % (folder, rc, status))
        rc, doc = tool(pkgtool, "cd", disc, "-o", os.path.join(tmp, "disc.iso"), "--autorun", "--json")
        check(rc == 0 and doc and doc["image"] and doc["image"]["bytes"] > 0, "cd: an image: %d %r" % (rc, doc))
        broken = copy("broken")
        rc, doc = tool(pkgtool, "cd", broken, "-o", os.path.join(tmp, "broken.iso"), "--autorun", "--json")
        check(rc == 1 and doc and doc["image"] is None and doc["notWritten"], "cd of a disc without setup.exe: %d %r"
              % (rc, doc))

        # A wrong command line: 2, whatever the command.
        for args in (["run", whole, "--os", "W97", "--json"], ["check", whole, "--bogus"], ["cd", whole, "--json"]):
            rc, _ = tool(pkgtool, *args)
            check(rc == 2, "pkgtool %s: exit status %d, not 2" % (" ".join(args), rc))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d failed" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
