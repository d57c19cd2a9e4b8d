#!/usr/bin/env python3
"""Checks a 16-bit Windows program (NE) against what Windows 3.1, 95 and 98
load as a Windows application: the MZ stub pointing at an NE header for
Windows (target 2) expecting Windows 3.10, an application (not a library)
with an automatic data segment, entry point and stack inside its segments,
segments and their relocation records inside the file, an entry table that
parses, and every import (by ordinal, from KERNEL and USER only) present in
Windows 3.1's exports. Prints the header as it reads it.

usage: check_ne.py EXPORT-LIST EXE...
"""
import os
import struct
import sys

MODULES = {"KERNEL", "USER"}


def load_exports(path):
    exports = {}
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        name, ordinal = line.split("@")
        module, func = name.strip().split("!")
        exports[(module, int(ordinal))] = func
    return exports


def counted(data, at):
    n = data[at]
    return data[at + 1:at + 1 + n].decode("latin-1"), at + 1 + n


def check(exports, exe):
    data = open(exe, "rb").read()
    problems = []
    if data[:2] != b"MZ" or len(data) < 0x40:
        return ["no MZ header"], []
    ne = struct.unpack_from("<I", data, 0x3C)[0]
    if struct.unpack_from("<H", data, 0x18)[0] < 0x40 or ne + 0x40 > len(data) or data[ne:ne + 2] != b"NE":
        return ["no NE header"], []
    (entry_off, entry_len, _crc, flags, auto_seg, heap, stack, ip, cs, sp, ss, nseg, nmod, nonres_len,
     seg_off, rsrc_off, res_off, mod_off, imp_off, nonres_pos, movable, shift, _nres, target, other,
     _gl1, _gl2, _swap, winver) = struct.unpack_from("<HHIHHHHHHHHHHHHHHHHIHHHBBHHHH", data, ne + 4)
    header = [
        ("linker version", "%d.%d" % (data[ne + 2], data[ne + 3])),
        ("flags", "0x%04X" % flags),
        ("automatic data segment", auto_seg),
        ("heap, stack", "%d, %d bytes" % (heap, stack)),
        ("CS:IP", "%d:%04X" % (cs, ip)),
        ("SS:SP", "%d:%04X" % (ss, sp)),
        ("segments", nseg),
        ("module references", nmod),
        ("alignment shift", shift),
        ("target OS", target),
        ("other flags", "0x%02X" % other),
        ("expected Windows version", "%d.%02d" % (winver >> 8, winver & 0xFF)),
        ("file size", "%d bytes" % len(data)),
    ]
    if target != 2:
        problems.append("target OS %d, not Windows (2)" % target)
    if winver != 0x030A:
        problems.append("expected Windows version 0x%04X, not 3.10" % winver)
    if flags & 0x8000:
        problems.append("a library, not an application")
    if not flags & 0x0002 or not 1 <= auto_seg <= nseg:
        problems.append("no automatic data segment of its own (multiple data)")
    if (flags >> 8) & 7 != 3:
        problems.append("application type %d, not one that uses the Windows API (3)" % ((flags >> 8) & 7))
    unit = 1 << (shift or 9)
    segments = []
    for i in range(nseg):
        pos, length, sflags, alloc = struct.unpack_from("<HHHH", data, ne + seg_off + 8 * i)
        start, length, alloc = pos * unit, length or 0x10000, alloc or 0x10000
        segments.append((start, length, sflags, alloc))
        header.append(("segment %d" % (i + 1), "%s at %d, %d bytes, %d allocated, flags 0x%04X" % (
            "data" if sflags & 1 else "code", start, length, alloc, sflags)))
        if start + length > len(data) or alloc < length:
            problems.append("segment %d lies outside the file or is allocated smaller than it is" % (i + 1))
    if not 1 <= cs <= nseg or segments[cs - 1][2] & 1 or ip >= segments[cs - 1][1]:
        problems.append("the entry point is not inside a code segment")
    if ss != auto_seg:
        problems.append("the stack is not in the automatic data segment")
    elif segments and segments[ss - 1][3] + heap + stack > 0x10000:
        problems.append("the automatic data segment with heap and stack exceeds 64 KB")
    names = []
    for i in range(nmod):
        at = struct.unpack_from("<H", data, ne + mod_off + 2 * i)[0]
        names.append(counted(data, ne + imp_off + at)[0].upper())
    header.append(("imports from", ", ".join(names)))
    imports = set()
    for i, (start, length, sflags, _alloc) in enumerate(segments):
        if not sflags & 0x0100:
            continue
        at = start + length
        count = struct.unpack_from("<H", data, at)[0]
        for r in range(count):
            addr_type, rel_type, offset, a, b = struct.unpack_from("<BBHHH", data, at + 2 + 8 * r)
            if offset >= length:
                problems.append("segment %d: a relocation at %04X outside the segment" % (i + 1, offset))
            kind = rel_type & 3
            if kind == 1:
                module = names[a - 1] if 1 <= a <= len(names) else "?"
                imports.add((module, b))
            elif kind == 2:
                problems.append("segment %d: an import by name (Windows 3.1's modules are listed by ordinal)" % (i + 1))
    at = ne + entry_off
    entries = 0
    while at < ne + entry_off + entry_len and data[at]:
        n, kind = data[at], data[at + 1]
        at += 2
        if kind == 0:
            continue
        size = 6 if kind == 0xFF else 3
        for e in range(n):
            if kind == 0xFF:
                seg, off = data[at + 3], struct.unpack_from("<H", data, at + 4)[0]
                if data[at + 1:at + 3] != b"\xcd\x3f":
                    problems.append("entry %d: a movable entry without int 3Fh" % (entries + 1))
            else:
                seg, off = kind, struct.unpack_from("<H", data, at + 1)[0]
            if not 1 <= seg <= nseg or off >= segments[seg - 1][1]:
                problems.append("entry %d points outside its segment" % (entries + 1))
            entries += 1
            at += size
    header.append(("entry points", "%d (%d movable)" % (entries, movable)))
    for module, ordinal in sorted(imports):
        if module not in MODULES:
            problems.append("imports from %s" % module)
        elif (module, ordinal) not in exports:
            problems.append("imports %s.%d, which the list of Windows 3.1's exports lacks" % (module, ordinal))
    header.append(("imports", ", ".join("%s.%s" % (m, exports.get((m, o), o)) for m, o in sorted(imports))))
    return problems, header


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1])
        return 2
    exports = load_exports(sys.argv[1])
    bad = 0
    for exe in sys.argv[2:]:
        problems, header = check(exports, exe)
        print("%s:" % os.path.basename(exe))
        for k, v in header:
            print("  %-26s %s" % (k, v))
        for p in problems:
            print("  PROBLEM: %s" % p)
        bad += bool(problems)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
