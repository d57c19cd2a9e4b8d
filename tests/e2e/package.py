"""Laying out driver packages in a Wine prefix for the launcher's Wine tests.

A package is a folder with the shipped setup.exe (and any doubles a case
puts beside it, since the system's search order finds programs next to the
launcher first) and a SETUP.INI written by the case.
"""
import os
import shutil

import winetest as wt


def shipped(name):
    """Path of a shipped binary in the win32 build."""
    base = os.environ.get("WINETEST_WIN32_DIR", "")
    sub = {"setup.exe": "setup", "Sequor.exe": "sequor"}[name]
    path = os.path.join(base, sub, name)
    if not os.path.isfile(path):
        raise wt.HarnessError("%s is missing: build the win32 preset first" % path)
    return path


def lay_out(pfx, win_dir, script=None, files=None, doubles=()):
    """Creates win_dir with setup.exe, the script and extra files; returns the host folder."""
    host = pfx.mkdir(win_dir)
    for name in os.listdir(host):
        p = os.path.join(host, name)
        if os.path.isdir(p):
            shutil.rmtree(p)
        else:
            os.remove(p)
    shutil.copy(shipped("setup.exe"), os.path.join(host, "setup.exe"))
    if script is not None:
        pfx.write_file(win_dir + "\\SETUP.INI", script.replace("\n", "\r\n"))
    for name, data in (files or {}).items():
        pfx.write_file(win_dir + "\\" + name, data)
    for name, target in doubles:
        shutil.copy(os.path.join(pfx.doubles, name), os.path.join(host, target))
    return host


def messages(result):
    return [(b.caption, b.text, tuple(b.button_names), b.icon) for b in result.boxes]
