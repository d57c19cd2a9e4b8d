#!/bin/sh
# pkgtool's command line: --help and --version answer on standard output
# with status 0; every wrong command line gets one line on standard error,
# nothing on standard output, and status 2.
# usage: cli_test.sh PKGTOOL VERSION PACKAGE-DIR
tool=$1 version=$2 pkg=$3
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failed=0 passed=0
# expect STATUS OUT-PATTERN ERR-LINES ARGS...; an empty pattern wants no output
expect() {
  status=$1 pattern=$2 lines=$3; shift 3
  "$tool" "$@" >"$out" 2>"$err"; rc=$?
  if [ -z "$pattern" ]; then [ ! -s "$out" ]; else grep -q -- "$pattern" "$out"; fi
  seen=$?
  if [ "$rc" -ne "$status" ] || [ "$seen" -ne 0 ] || [ "$(wc -l <"$err")" -ne "$lines" ]; then
    echo "FAIL pkgtool $*: status $rc (expected $status), stdout $(head -c 200 "$out"), stderr $(cat "$err")"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}
expect 0 '^usage: pkgtool check DIR' 0 --help
expect 0 '^usage: pkgtool check DIR' 0 check "$pkg" --help
expect 0 "^pkgtool $version\$" 0 --version
expect 2 '' 1
expect 2 '' 1 chek "$pkg"
expect 2 '' 1 check
expect 2 '' 1 check "$pkg" --bogus x
expect 2 '' 1 check "$pkg" --codepage
expect 2 '' 1 check "$pkg" stray
expect 2 '' 1 run "$pkg" --os W97
expect 0 '^bad-header$' 0 explain bad-header
expect 1 '' 1 explain no-such-code
expect 2 '' 1 explain
expect 0 '^usage: pkgtool check DIR' 0 new "$pkg" --help
expect 2 '' 1 new
expect 2 '' 1 new "$pkg" --agp 12345:1
expect 2 '' 1 new "$pkg" --agp
expect 2 '' 1 new --update --print "$pkg"
expect 2 '' 1 new "$pkg" --agp 1234:9999
expect 1 '' 1 new "$pkg"
expect 0 '^usage: pkgtool check DIR' 0 cd "$pkg" --help
expect 2 '' 1 cd "$pkg"
expect 2 '' 1 cd "$pkg" -o
expect 2 '' 1 cd "$pkg" -o x.iso stray
expect 2 '' 1 cd "$pkg" -o "$pkg/WIN95/x.iso"
# The man page names every option that --help names, and every command.
man=$(dirname "$0")/../../tools/pkgtool/pkgtool.1
for option in $("$tool" --help | grep -o -- '--[a-z][a-z-]*' | sort -u) explain; do
  if grep -q -- "$(echo "$option" | sed 's/-/\\\\-/g')" "$man"; then
    passed=$((passed + 1))
  else
    echo "FAIL the man page does not name $option, which pkgtool --help names"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
