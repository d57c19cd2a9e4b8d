#!/usr/bin/env bash
# Makes the README's pictures anew:
#   docs/images/report.png          the report of the example package as headless Chromium draws it;
#   docs/images/box-report-win95.png the report's drawing of the Windows 95 no-card box, cut out of it;
#   docs/images/box-wine-win95.png  the same box as the shipped setup.exe shows it under Wine
#                                   (needs the win32 build, Wine and Xvfb: the Wine tier's boxshots_test.py).
# usage: scripts/report-images.sh [PKGTOOL [WIN32_BUILD_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
pkgtool=${1:-build/host/tools/pkgtool/pkgtool}
win32=${2:-build/win32}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shoot() { # shoot URL PNG WIDTH,HEIGHT
  timeout 120 chromium --headless=new --no-sandbox --disable-gpu --user-data-dir="$tmp/profile" \
    --hide-scrollbars --window-size="$3" --screenshot="$2" "$1" 2>/dev/null
}
"$pkgtool" report examples/package -o "$tmp/report.html"
shoot "file://$tmp/report.html" "$tmp/report.png" 900,1100
convert "$tmp/report.png" -colors 64 PNG8:docs/images/report.png

# The drawn box: the page with everything but that box hidden, the box at its top left.
path=$("$pkgtool" run examples/package --all --json | python3 -c '
import json, sys
print(next(t["path"]["number"] for t in json.load(sys.stdin) if t["osKey"] == "W95A" and t["path"]["card"] == "no card"))')
box="p$path-b1"
grep -q "id=\"$box\"" "$tmp/report.html" || { echo "report-images: no box $box in the report" >&2; exit 1; }
sed "s|</style>|body *{visibility:hidden}#$box,#$box *{visibility:visible}#$box{position:absolute;top:0;left:0}</style>|" \
  "$tmp/report.html" >"$tmp/box.html"
shoot "file://$tmp/box.html" "$tmp/box.png" 700,300
convert "$tmp/box.png" -trim +repage -colors 32 PNG8:docs/images/box-report-win95.png

# The real box, photographed by the Wine tier's test.
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=tests/e2e/harness WINETEST_DOUBLES="$win32/tests/e2e/doubles" \
  WINETEST_WIN32_DIR="$win32" timeout 300 python3 tests/e2e/boxshots_test.py "$pkgtool" examples/package \
  "$tmp/shots" win95 || { echo "report-images: the Wine tier could not photograph the box" >&2; exit 1; }
convert "$tmp/shots/box-win95-1.png" -colors 32 PNG8:docs/images/box-wine-win95.png
ls -l docs/images
