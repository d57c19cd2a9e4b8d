#!/usr/bin/env python3
"""Writes the C++ table of the author's reference's finding entries (the
part "## 6. Findings of pkgtool check" of docs/reference.md), so that
pkgtool explain CODE and the JSON "fix" answer from the text the release
ships, wherever the tool is installed.

usage: reference_gen.py REFERENCE.md OUTPUT.cpp
"""
import sys

PART = "## 6. Findings of pkgtool check"


def c_string(text):
    out = []
    for b in text.encode("utf-8"):
        c = chr(b)
        if c == "\\" or c == '"':
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\n\"\n    \"")
        elif 32 <= b < 127 and c != "?":
            out.append(c)
        else:
            out.append("\\%03o" % b)
    return '"' + "".join(out) + '"'


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    text = open(sys.argv[1], encoding="utf-8").read()
    if PART not in text:
        print("reference_gen.py: %s has no part %r" % (sys.argv[1], PART), file=sys.stderr)
        return 1
    part = text.split(PART, 1)[1].split("\n## ", 1)[0]
    entries = []
    for block in part.split("\n### ")[1:]:
        name, _, body = block.partition("\n")
        entries.append((name.strip(), body.strip("\n") + "\n"))
    entries.sort()
    with open(sys.argv[2], "w", encoding="ascii") as out:
        out.write("// Generated from docs/reference.md by reference_gen.py; do not edit.\n")
        out.write('#include "tools/pkgtool/report/reference.h"\n\n')
        out.write("const ReferenceItem kReferenceItems[] = {\n")
        for name, body in entries:
            out.write("  {%s,\n    %s},\n" % (c_string(name), c_string(body)))
        out.write("};\nconst unsigned kReferenceCount = %d;\n" % len(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
