#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) in build-fuzz/ and
# fuzzes each for SECONDS (default 60): the list-file parser, then the
# flight recording's reader. New inputs collect in build-fuzz/corpus/NAME;
# a crash leaves crash-* in build-fuzz/artifacts and fails the script.
#   bash scripts/fuzz.sh 3600          # an hour each
#   FUZZ_JOBS=2 bash scripts/fuzz.sh   # two processes at once
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build-fuzz"
(cd "$root" && cmake --preset fuzz >/dev/null)
cmake --build "$build" -j"$(nproc)" --target fs_fuzz_planelist fs_fuzz_recording
mkdir -p "$build/corpus/planelist" "$build/corpus/recording" "$build/artifacts"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
jobs=${FUZZ_JOBS:-1}
extra=()
if [ "$jobs" -gt 1 ]; then extra=(-jobs="$jobs" -workers="$jobs"); fi
common=(-timeout=10 -rss_limit_mb=1024 -max_total_time="$seconds" -print_final_stats=1
        -artifact_prefix="$build/artifacts/")
# The first directory receives new inputs; the others seed it.
"$build/fs_fuzz_planelist" "$build/corpus/planelist" \
  "$root/tests/unit/aircraft/lists" "$root/tests/fuzz/regressions" \
  -dict="$root/tests/fuzz/planelist.dict" -max_len=4096 "${common[@]}" ${extra[@]+"${extra[@]}"}
"$build/fs_fuzz_recording" "$build/corpus/recording" "$root/tests/fuzz/recordings" \
  -max_len=4096 "${common[@]}" ${extra[@]+"${extra[@]}"}
