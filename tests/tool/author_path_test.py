#!/usr/bin/env python3
"""The author's path runs as written: README.md's "From a driver to a CD"
and docs/author-path.md, its whole form, each on its own. Each
```console block's "$ " lines are run in order by /bin/sh, in one folder
that holds the project's tests/ (for the package of the example), an
unpacked release ZIP (cardsetup-VERSION/setup.exe) and the driver maker's
fitter16.exe (stand-ins for both), with the built pkgtool first on PATH.
Each command must end with status 0 and print the lines the page shows
below it; a line "..." there stands for any number of lines.

Leaves out: the real-bus PC (the realbus tier runs it).

usage: author_path_test.py SOURCE_DIR PKGTOOL
"""
import os
import re
import subprocess
import sys
import tempfile


def blocks(page):
    """[(command, [expected lines])] of every console block, in order."""
    steps = []
    for block in re.findall(r"```console\n(.*?)```", page, re.S):
        for line in block.rstrip("\n").split("\n"):
            if line.startswith("$ "):
                steps.append((line[2:], []))
            elif steps:
                steps[-1][1].append(line)
    return steps


def matches(expected, actual):
    """Whether the actual lines are the expected ones, "..." standing for any run of lines."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[i:]) for i in range(len(actual) + 1))
    return bool(actual) and actual[0] == expected[0] and matches(expected[1:], actual[1:])


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    src, pkgtool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failed = 0
    for name in ("README.md", os.path.join("docs", "author-path.md")):
        failed += run_page(src, pkgtool, name)
    return 1 if failed else 0


def run_page(src, pkgtool, name):
    page = open(os.path.join(src, name), encoding="utf-8").read()
    steps = blocks(page)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        os.symlink(os.path.join(src, "tests"), os.path.join(work, "tests"))
        os.mkdir(os.path.join(work, "cardsetup-0"))
        for stand_in in ("cardsetup-0/setup.exe", "fitter16.exe"):
            with open(os.path.join(work, stand_in), "wb") as f:
                # An MZ header pointing to an NE header: what cd takes for a Windows program.
                f.write(b"MZ" + bytes(0x3A) + b"\x40\0\0\0NE" + bytes(16))
        env = dict(os.environ, PATH=os.path.dirname(pkgtool) + os.pathsep + os.environ.get("PATH", ""))
        for command, expected in steps:
            out = subprocess.run(["/bin/sh", "-c", command], cwd=work, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, timeout=120)
            text = out.stdout.decode("utf-8", "replace").rstrip("\n")
            actual = text.split("\n") if text else []
            if out.returncode != 0:
                failures.append("%s: exit status %d\n%s" % (command, out.returncode, text))
            elif not matches(expected, actual):
                failures.append("%s: the page shows\n%s\nbut it printed\n%s" %
                                (command, "\n".join(expected), text))
    for f in failures:
        print("FAIL %s: %s" % (name, f))
    if not steps:
        print("FAIL %s has no console block" % name)
        return 1
    if not failures:
        print("PASS %d commands of %s, each as the page shows it" % (len(steps), name))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
