#!/usr/bin/env python3
"""Turns the author's reference (plain Markdown: headings, paragraphs, lists,
indented blocks, pipe tables, `code`) into plain text with CR LF line ends,
for Notepad on the old PCs. The text must be ASCII: every code page of those
systems shows ASCII the same.

usage: md2txt.py IN.md OUT.txt
"""
import re
import sys
import textwrap

WIDTH = 78


def inline(text):
    text = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", r"\1 (\2)", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    return text.replace("`", "")


def cells(line):
    return [inline(c.strip()) for c in line.strip().strip("|").split("|")]


def table(rows):
    head, body = rows[0], rows[2:]
    widths = [max(len(r[i]) if i < len(r) else 0 for r in [head] + body) for i in range(len(head))]
    if sum(widths) + 2 * (len(widths) - 1) <= WIDTH:
        fmt = lambda r: "  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip()
        return [fmt(head), "  ".join("-" * w for w in widths)] + [fmt(r) for r in body]
    # Too wide for columns: one block per row, each cell named by its column.
    out = []
    for r in body:
        text = "; ".join("%s: %s" % (h, c) for h, c in zip(head, r) if c)
        out += textwrap.wrap(text, WIDTH, initial_indent="- ", subsequent_indent="  ")
    return out


def convert(md):
    out = []
    lines = md.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        m = re.match(r"^(#{1,6})\s+(.*)$", line)
        if m:
            title = inline(m.group(2))
            level = len(m.group(1))
            if out and out[-1] != "":
                out.append("")
            out.append(title)
            if level <= 3:
                out.append("=-~"[level - 1] * len(title))
            i += 1
            continue
        if line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(cells(lines[i]))
                i += 1
            out += table(rows)
            continue
        out.append(line if line.startswith("    ") else inline(line))
        i += 1
    text = "\n".join(out).strip("\n") + "\n"
    bad = [n + 1 for n, l in enumerate(text.splitlines()) if any(ord(c) > 126 or (ord(c) < 32 and c != "\t") for c in l)]
    if bad:
        raise ValueError("not ASCII text on output lines %s" % bad[:10])
    return text.replace("\n", "\r\n")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        md = f.read()
    try:
        text = convert(md)
    except ValueError as e:
        print("md2txt: %s: %s" % (sys.argv[1], e), file=sys.stderr)
        return 1
    with open(sys.argv[2], "w", encoding="ascii", newline="") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
