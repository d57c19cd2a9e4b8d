#!/usr/bin/env python3
"""pkgtool report in a real browser (headless Chromium): the page of the
example and of a package in code page 932 with findings holds every path of
run --all and every box text as the target's Windows decodes it (compared
with run --all --json, the same transcripts); it names no other address and
the browser requests nothing but the page; its screenshot is not blank; the
same package gives the same bytes.

Leaves out: how the drawings look (a person judges that; docs/images holds
one).

usage: report_test.py PKGTOOL EXAMPLE_PACKAGE
Exit status 77 (skipped) without chromium.
"""
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cd_test  # noqa: E402

FAILURES = []
WAIT = 90  # seconds for any one program


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL %s" % what, flush=True)


class Page(html.parser.HTMLParser):
    """The section ids and the text of each drawn box, as the browser built them."""

    def __init__(self):
        super().__init__()
        self.ids, self.boxes, self._depth, self._text = set(), [], 0, None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.add(a["id"])
        if self._text is not None:
            self._depth += 1
        elif "data-box-text" in a:
            self._text, self._depth = "", 1

    def handle_endtag(self, tag):
        if self._text is not None:
            self._depth -= 1
            if self._depth == 0:
                self.boxes.append(self._text)
                self._text = None

    def handle_data(self, data):
        if self._text is not None:
            self._text += data


def chromium(profile, *args):
    return subprocess.run(["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + profile,
                           "--proxy-server=127.0.0.1:9", "--host-resolver-rules=MAP * ~NOTFOUND",
                           "--no-first-run", "--disable-background-networking", "--disable-component-update",
                           "--disable-sync"] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=WAIT)


def hosts(netlog, page):
    log = open(netlog, encoding="utf-8", errors="replace").read() if os.path.exists(netlog) else ""
    return {re.sub(r"^([a-z]+://[^/?]*).*", r"\1", u) for u in re.findall(r'"url":"([^"]+)"', log)
            if not u.startswith(page) and not u.startswith("data:")}


_EMPTY = []


def hosts_of_empty_page(tmp):
    if not _EMPTY:
        empty = os.path.join(tmp, "empty.html")
        open(empty, "w").write("<!DOCTYPE html><title>empty</title>")
        netlog = os.path.join(tmp, "empty-net.json")
        chromium(os.path.join(tmp, "profile-empty"), "--log-net-log=" + netlog, "--dump-dom", "file://" + empty)
        _EMPTY.append(hosts(netlog, "file://" + empty))
    return _EMPTY[0]


def one(pkgtool, package, codepage, tmp):
    name = os.path.basename(package)
    page = os.path.join(tmp, name + ".html")
    opts = ["--codepage", str(codepage)]
    r = subprocess.run([pkgtool, "report", package, "-o", page] + opts, timeout=WAIT)
    check(r.returncode == 0, "%s: report exit status %d" % (name, r.returncode))
    raw = open(page, "rb").read()
    again = page + ".again"
    subprocess.run([pkgtool, "report", package, "-o", again] + opts, timeout=WAIT)
    check(open(again, "rb").read() == raw, "%s: a second report differs" % name)
    text = raw.decode("utf-8")
    # Nothing from another address: no script, no URL in src, href or url().
    check("<script" not in text.lower(), "%s: the page has a script" % name)
    for m in re.finditer(r'(?:src|href)\s*=\s*"([^"]*)"|url\(([^)]*)\)|@import', text):
        target = (m.group(1) or m.group(2) or m.group(0)).strip("'\" ")
        check(target.startswith("#") or target.startswith("data:"), "%s: the page refers to %r" % (name, target))
    paths = json.loads(subprocess.run([pkgtool, "run", package, "--all", "--json"] + opts, stdout=subprocess.PIPE,
                                      timeout=WAIT).stdout)

    profile = os.path.join(tmp, "profile-" + name)
    netlog = os.path.join(tmp, name + "-net.json")
    url = "file://" + page
    dom = chromium(profile, "--log-net-log=" + netlog, "--dump-dom", url)
    check(dom.returncode == 0 and dom.stdout, "%s: chromium --dump-dom: %d %r" % (name, dom.returncode, dom.stderr[-300:]))
    parsed = Page()
    parsed.feed(dom.stdout.decode("utf-8", "replace"))
    for p in paths:
        n = p["path"]["number"]
        check("p%d" % n in parsed.ids, "%s: path %d (%s, %s) is not in the page" % (name, n, p["path"]["windows"],
                                                                                      p["path"]["card"]))
    # The browser reads CR LF in the page as LF, as HTML wants.
    wanted = [s["text"].replace("\r\n", "\n") for p in paths for s in p["steps"] if s["kind"] == "box"]
    check(parsed.boxes == wanted, "%s: the drawn boxes' texts differ from the transcripts':\n  %r\n  %r" %
          (name, parsed.boxes[:4], wanted[:4]))
    # The browser asked for nothing but the page: the hosts it asks of on its
    # own (its updates, its accounts) are those it asks of for an empty page.
    check(os.path.exists(netlog), "%s: no net log" % name)
    others = hosts(netlog, url) - hosts_of_empty_page(tmp)
    check(not others, "%s: the browser asked %r" % (name, sorted(others)))

    shot = os.path.join(tmp, name + ".png")
    r = chromium(profile, "--screenshot=" + shot, "--window-size=1000,1400", url)
    check(r.returncode == 0 and os.path.exists(shot), "%s: no screenshot: %r" % (name, r.stderr[-300:]))
    if os.path.exists(shot):
        colours = subprocess.run(["convert", shot, "-format", "%k", "info:"], stdout=subprocess.PIPE,
                                 timeout=WAIT).stdout.decode().strip() if shutil.which("convert") else "99"
        check(colours.isdigit() and int(colours) >= 8, "%s: the screenshot has %s colours" % (name, colours))
    return text


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    if not shutil.which("chromium"):
        print("SKIP: no chromium (scripts/install-deps.sh installs it)")
        return 77
    pkgtool, example = (os.path.abspath(a) for a in sys.argv[1:])
    tmp = tempfile.mkdtemp(prefix="report-test-")
    try:
        one(pkgtool, example, 1252, tmp)
        jp = os.path.join(tmp, "jp")
        shutil.copytree(example, jp)
        cd_test.make_cp932(jp)
        os.remove(os.path.join(jp, "WIN95", "EXAMPLE.DRV"))  # a finding: driver-file-missing
        text = one(pkgtool, jp, 932, tmp)
        check("driver-file-missing" in text and 'href="#f' in text, "jp: the finding is not linked to its line")
        check("対応する表示カードが見つかりません。" in text, "jp: the code page 932 message is not in the page")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d failed" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
