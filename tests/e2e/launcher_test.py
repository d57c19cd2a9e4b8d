#!/usr/bin/env python3
"""The launcher's spine under Wine: the shipped setup.exe in a fresh prefix.

Covers: the command list chosen by the reported Windows version, the
"NotSupport" message for a missing list or script, escapes in messages,
ShowMsg and End ending the list, unmatched entries, names found in any
letter case, the argument text extending the launch directory, a drive
root as the current directory, a Japanese Windows (code page 932) whose
folder name and message end in characters with 0x5C as their second byte,
and the exit code 0 throughout.
Leaves out: the commands with routes of their own (detection, install,
exec), which have their own Wine tests.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402
from package import lay_out, messages  # noqa: E402

BOX = "exclamation"
SCRIPT = r"""[Application]
W95A=ShowMsgA
W98=ShowMsg98
NT40=ShowMsgNT
NT35X=ShowMsg351
WINNT=ShowMsgNew
[Message]
NotSupport=Not supported here.
ShowMsgA=Windows 95 list
ShowMsg98=Windows 98 list
ShowMsgNT=NT 4.0 list
ShowMsg351=NT 3.51 list
ShowMsgNew=WINNT list
"""


def ansi(text, code_page="cp932"):
    """Text as its bytes in an ANSI code page, one str character a byte."""
    return text.encode(code_page).decode("latin-1")


# Wine takes its ANSI code page from the locale.
JAPANESE = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}


def one(text):
    return [("SETUP", text, ("OK",), BOX)]


CASES = [
    # The version decides the list: one box of that list each.
    dict(name="win95_reads_W95A", version="win95", script=SCRIPT, boxes=one("Windows 95 list")),
    dict(name="win98_reads_W98", version="win98", script=SCRIPT, boxes=one("Windows 98 list")),
    dict(name="nt40_reads_NT40", version="nt40", script=SCRIPT, boxes=one("NT 4.0 list")),
    dict(name="nt351_reads_NT35X", version="nt351", script=SCRIPT, boxes=one("NT 3.51 list")),
    dict(name="default_reads_WINNT", version=None, script=SCRIPT, boxes=one("WINNT list")),
    # Missing lists and scripts.
    dict(name="missing_list_shows_NotSupport", version="win98",
         script="[Application]\nW95A=ShowMsg\n[Message]\nNotSupport=Not supported here.\n",
         boxes=one("Not supported here.")),
    dict(name="empty_list_shows_NotSupport_once", version="win98",
         script="[Application]\nW98=\n[Message]\nNotSupport=Not supported here.\n",
         boxes=one("Not supported here.")),
    dict(name="missing_script_shows_empty_box", version="win98", script=None, boxes=one("")),
    # Messages and the walk.
    dict(name="escapes", version="win98",
         script="[Application]\nW98=ShowMsg\n[Message]\nShowMsg=Line one\\nLine two\\tTab \\N\\T end\\\n",
         boxes=one("Line one\r\nLine two\tTab \\N\\T end\\")),
    dict(name="showmsg_ends_the_list_after_ok", version="win98",
         script="[Application]\nW98=ShowMsgBye,ShowMsg\n[Message]\nShowMsgBye=Bye\nShowMsg=never\n",
         boxes=one("Bye")),
    dict(name="end_stops_and_unmatched_are_skipped", version="win98",
         script="[Application]\nW98=Ending,End2, ShowMsg,end,ShowMsg\n[Message]\nShowMsg=never\n",
         boxes=[]),
    dict(name="runs_of_commas", version="win98",
         script="[Application]\nW98=,,Nothing,,ShowMsg2,\n[Message]\nShowMsg2=second\n",
         boxes=one("second")),
    dict(name="names_in_any_letter_case", version="win95",
         script="[application]\nw95a=showmsgx\n[MESSAGE]\nSHOWMSGX=found\n", boxes=one("found")),
    dict(name="missing_message_key_gives_empty_box", version="win98",
         script="[Application]\nW98=ShowMsgNone\n", boxes=one("")),
    # The launch directory.
    dict(name="argument_text_extends_launch_directory", version="win98", args="\\DISK1",
         script=None, sub_script=("DISK1", "[Application]\nW98=ShowMsg\n[Message]\nShowMsg=from disk 1\n"),
         boxes=one("from disk 1")),
    dict(name="drive_root_has_no_trailing_backslash", version="win98", root=True,
         script="[Application]\nW98=ShowMsg\n[Message]\nShowMsg=root\n", boxes=one("root")),
    # 表 is 0x95 0x5C in code page 932: neither a trailing backslash of the
    # folder nor the start of an escape.
    dict(name="code_page_932_folder_and_message_end_in_0x5c", version="win98", locale=JAPANESE, cwd="C:\\表",
         script="[Application]\nW98=ShowMsg\n[Message]\nShowMsg=%s\n" % ansi("表n 表\\n"),
         boxes=one(ansi("表n 表\r\n"))),
]


def main():
    args = wt.standard_args(__doc__)
    wt.require_tools()
    with wt.Xvfb() as x, wt.WinePrefix(display=x, doubles=args.doubles, keep=args.keep) as pfx:
        def case(c):
            where = "C:\\pkg"
            host = lay_out(pfx, where, c["script"])
            if c.get("sub_script"):
                sub, text = c["sub_script"]
                pfx.mkdir(where + "\\" + sub)
                pfx.write_file(where + "\\" + sub + "\\SETUP.INI", text.replace("\n", "\r\n"))
            cwd = where
            if c.get("cwd"):
                cwd = c["cwd"]
                pfx.mkdir(cwd)
                pfx.write_file(cwd + "\\SETUP.INI", c["script"].replace("\n", "\r\n"))
                os.remove(os.path.join(host, "SETUP.INI"))
            saved_env = dict(pfx.env)
            pfx.env.update(c.get("locale", {}))  # the user double reads the box in the same code page
            if c.get("root"):
                pfx.write_file("C:\\SETUP.INI", c["script"].replace("\n", "\r\n"))
                os.remove(os.path.join(host, "SETUP.INI"))
                cwd = "C:\\"
            try:
                r = wt.run_program(pfx, where + "\\setup.exe", c.get("args", ""), cwd=cwd,
                                   version=c["version"], name=c["name"], timeout=60)
            finally:
                pfx.env = saved_env
            if c.get("root"):
                os.remove(pfx.host_path("C:\\SETUP.INI"))
            wt.check_exit(r, 0)
            wt.check_eq(messages(r), c["boxes"], "message boxes", r)
            wt.check(not r.left_running, "nothing left running", r)

        return wt.run_cases(CASES, case, only=args.cases)


if __name__ == "__main__":
    sys.exit(main())
