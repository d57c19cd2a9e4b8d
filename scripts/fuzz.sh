#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target in turn, each for the
# given number of seconds (default 600), one at a time. Each target works on
# its own corpus under build/fuzz/work/<target>, merged first from the seeds
# in tests/fuzz/corpus/<target>; the committed seeds are never written.
# Findings are written to build/fuzz/findings/; the script fails if any.
#   scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(profile text tokens setup_run sequor_run inf autorun captures)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/tests/fuzz
findings=build/fuzz/findings
mkdir -p "$findings"

failed=()
summary=()
for t in "${targets[@]}"; do
  work="build/fuzz/work/$t"
  log="build/fuzz/work/$t.log"
  mkdir -p "$work"
  # Merge the seeds into the work corpus (keeping what earlier runs found).
  "$bin/fuzz_$t" -merge=1 "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1 ||
    echo "  merging the seeds failed (does a seed crash? see $log)"
  echo "== $t: ${seconds}s"
  if "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/$t-" "$work" >"$log" 2>&1; then
    status=ok
  else
    status=FINDING
    failed+=("$t")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\/[^ ]*\).*/cov \1, features \2, corpus \3/p' "$log" | tail -1)
  summary+=("$(printf '%-11s %-7s executions %-10s %s' "$t" "$status" "${execs:-?}" "${cov:-?}")")
  echo "${summary[-1]}"
  [ "$status" = ok ] || { grep -E 'check failed|ERROR|SUMMARY' "$log" | head -5; echo "  log: $log"; }
done

echo
echo "== summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (inputs in $findings)"
  exit 1
fi
