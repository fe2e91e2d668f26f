#!/usr/bin/env bash
# Runs ctest in the current build directory with the given arguments, then
# once more for each test that failed, and names every retried test with the
# outcome of its second try. Fails when a test fails both times. The closing
# line is ctest's own summary, or "N passed, M failed" after a retry.
#   scripts/ctest-retry.sh -j2 -L unit
set -uo pipefail
failed_log=Testing/Temporary/LastTestsFailed.log
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ctest leaves the list of failures in place after a clean run.
rm -f "$failed_log"
ctest --output-on-failure "$@" | tee "$tmp/first.txt"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] && exit 0
if [ ! -s "$failed_log" ]; then
  echo "ctest-retry: ctest failed (status $status) without failed tests to retry" >&2
  exit "$status"
fi
cut -d: -f2- "$failed_log" >"$tmp/retried"
total=$(grep -Eo 'tests failed out of [0-9]+' "$tmp/first.txt" | grep -Eo '[0-9]+$' | tail -1)
total=${total:-$(wc -l <"$tmp/retried")}

echo
echo "ctest-retry: a second try for $(wc -l <"$tmp/retried") failed test(s)"
ctest --output-on-failure --rerun-failed "$@"
if [ $? -eq 0 ]; then
  : >"$tmp/failed_again"
else
  # Rewritten by the second run whenever a test failed in it.
  cut -d: -f2- "$failed_log" >"$tmp/failed_again"
fi

echo
failures=0
while IFS= read -r name; do
  if grep -qxF -- "$name" "$tmp/failed_again"; then
    echo "retried: $name failed on the second try"
    failures=$((failures + 1))
  else
    echo "retried: $name passed on the second try"
  fi
done <"$tmp/retried"
echo "$((total - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
