#!/usr/bin/env python3
"""The author's reference documents exactly the finding codes pkgtool check
can emit: each code, read from the tool's sources, has its entry (a heading
`### code` in the findings part, with a script before and after the fix),
and each entry names a code the tool still emits.

Codes are the first string of a Sink's Error, Warning or Note call, the
string after a severity in an Add call or a finding built in place, and the
code of an INF reader's notice. A code passed any other way escapes this
test.

usage: codes_test.py <source folder>
"""
import glob
import os
import re
import sys

SEVERITIES = {"error", "warning", "note"}
FINDINGS_PART = "## 6. Findings of pkgtool check"


def emitted(src):
    codes = {}
    files = glob.glob(os.path.join(src, "tools", "pkgtool", "**", "*.cpp"), recursive=True)
    files += glob.glob(os.path.join(src, "tools", "pkgtool", "**", "*.h"), recursive=True)
    for path in sorted(files):
        text = open(path, encoding="utf-8", errors="replace").read()
        found = [m.group(1) for m in re.finditer(r'\b(?:Error|Warning|Note)\s*\([^";]*?"([^"]*)"', text)]
        found += [m.group(1) for m in re.finditer(r'"(?:error|warning|note)"\s*,\s*"([^"]*)"', text)]
        # An INF reader's notice, reported later as a warning: {line, "code", ...}.
        found += [m.group(1) for m in re.finditer(r'notices\.push_back\(\{[^";]*?,\s*"([^"]*)"', text)]
        for code in found:
            if code not in SEVERITIES:
                codes.setdefault(code, os.path.relpath(path, src))
    return codes


def documented(reference):
    text = open(reference, encoding="utf-8").read()
    if FINDINGS_PART not in text:
        return None
    part = text.split(FINDINGS_PART, 1)[1].split("\n## ", 1)[0]
    entries = {}
    for block in re.split(r"\n(?=### )", part)[1:]:
        name = block.split("\n", 1)[0][4:].strip()
        entries[name] = block
    return entries


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    src = os.path.abspath(sys.argv[1])
    reference = os.path.join(src, "docs", "reference.md")
    codes, entries = emitted(src), documented(reference)
    if entries is None:
        print("FAIL %s has no part %r" % (reference, FINDINGS_PART))
        return 1
    problems = []
    for code in sorted(set(codes) - set(entries)):
        problems.append("%s emits %s, which docs/reference.md does not document" % (codes[code], code))
    for code in sorted(set(entries) - set(codes)):
        problems.append("docs/reference.md documents %s, which no source of pkgtool emits" % code)
    for code, block in sorted(entries.items()):
        if "Before:" not in block or "After:" not in block:
            problems.append("docs/reference.md: %s lacks its script before and after the fix" % code)
    if list(entries) != sorted(entries):
        problems.append("docs/reference.md: the findings are not in alphabetical order")
    for p in problems:
        print("FAIL " + p)
    if not problems:
        print("PASS %d codes, each documented" % len(codes))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
