#!/usr/bin/env python3
"""Checks a shipped executable against what Windows 95, 98 and NT 4.0 load:
32-bit PE for i386, GUI subsystem 4.0, OS version 4.0, imports only from
KERNEL32, USER32, ADVAPI32 and SHELL32 and only functions that all three
systems export, and no instruction newer than the 486 and Pentium have
(cmov and friends fault there). Each also carries the version resource
that users and other installers read in the file's properties: file and
product version the project's, and its own file name as the original one.

usage: check_binary.py OBJDUMP IMPORT-LIST VERSION EXE...
"""
import os
import re
import struct
import subprocess
import sys

ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "SHELL32.DLL"}
NEWER_INSTRUCTIONS = re.compile(r"\t(cmov\w*|fcomi\w*|fucomi\w*|fcmov\w*|sysenter|sysexit|rdpmc|ud2)\b")


def load_allowed(path):
    allowed = {}
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].strip() if "#" in line else line.strip()
        if not line or "!" not in line:
            continue
        dll, func = line.split("!", 1)
        allowed.setdefault(dll.upper() + ".DLL", set()).add(func.strip())
    return allowed


def check(objdump, allowed, exe):
    problems = []
    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    fields = dict(re.findall(r"^(\w+)\s+([0-9a-fA-Fx]+)", headers, re.M))
    expect = {"MajorOSystemVersion": "4", "MinorOSystemVersion": "0", "MajorSubsystemVersion": "4",
              "MinorSubsystemVersion": "0", "Subsystem": "00000002"}
    for name, value in expect.items():
        if fields.get(name) != value:
            problems.append(f"{name} is {fields.get(name)}, expected {value}")
    if "file format pei-i386" not in headers:
        problems.append("not a 32-bit PE for i386")
    dll = None
    for line in headers.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            if dll not in ALLOWED_DLLS:
                problems.append(f"imports from {dll}")
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if m and dll:
            func = m.group(1)
            if func not in allowed.get(dll, set()):
                problems.append(f"imports {dll}!{func}, which not every target system exports")
        elif not line.strip():
            pass
    code = subprocess.run([objdump, "-d", exe], capture_output=True, text=True, check=True).stdout
    for m in NEWER_INSTRUCTIONS.finditer(code):
        problems.append(f"uses {m.group(1)}, which the 486 and Pentium lack")
        break
    return problems


def version_problems(exe, version):
    numbers = [int(n) for n in version.split(".")]
    data = open(exe, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
    if at < 0:
        return ["has no version resource"]
    problems = []
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    if (file_ms, file_ls, product_ms, product_ls) != (ms, ls, ms, ls):
        problems.append(f"file or product version is not {version}")
    for key, value in (("OriginalFilename", os.path.basename(exe)), ("FileVersion", version),
                       ("ProductVersion", version)):
        pattern = re.escape(key.encode("utf-16-le")) + b"(?:\0\0)+" + re.escape(value.encode("utf-16-le")) + b"\0\0"
        if not re.search(pattern, data):
            problems.append(f"version resource has no {key} {value}")
    return problems


def main():
    objdump, imports, version, *exes = sys.argv[1:]
    allowed = load_allowed(imports)
    failed = 0
    for exe in exes:
        problems = check(objdump, allowed, exe) + version_problems(exe, version)
        for p in problems:
            print(f"{exe}: {p}")
        print(f"{exe}: {'FAIL' if problems else 'ok'}")
        failed += bool(problems)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
