#!/bin/sh
# The Debian package as Debian's own checker sees it: CPack makes it from
# this build tree (cmake/debian.cmake), and lintian finds no error and no
# warning in it. Its output is printed whole, so an override, if one is ever
# added, shows here with its reason.
# usage: lintian_test.sh BUILD-DIR
# Exit status 77 (skipped) where lintian is not installed.
build=$1
command -v lintian >/dev/null || { echo "SKIP: lintian is not installed (scripts/install-deps.sh installs it)"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; echo "FAIL cpack"; exit 1; }
deb=$(ls "$tmp"/*.deb)
# lintian warns that it runs as root, on standard error; that is no finding.
lintian --fail-on error,warning "$deb" >"$tmp/lintian.out" 2>"$tmp/lintian.err"
status=$?
cat "$tmp/lintian.out"
grep -v 'running with root privileges' "$tmp/lintian.err"
[ "$status" -eq 0 ] && echo "PASS lintian: $(basename "$deb") has no error and no warning" || echo "FAIL lintian: status $status"
exit "$status"
