#!/usr/bin/env bash
# Makes docs/images/report.png anew: the report of the example package as
# headless Chromium draws it. usage: scripts/report-images.sh [PKGTOOL]
set -euo pipefail
cd "$(dirname "$0")/.."
pkgtool=${1:-build/host/tools/pkgtool/pkgtool}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$pkgtool" report examples/package -o "$tmp/report.html"
timeout 120 chromium --headless=new --no-sandbox --disable-gpu --user-data-dir="$tmp/profile" \
  --hide-scrollbars --window-size=900,1100 --screenshot="$tmp/report.png" "file://$tmp/report.html" 2>/dev/null
convert "$tmp/report.png" -colors 64 PNG8:docs/images/report.png
