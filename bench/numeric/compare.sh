#!/usr/bin/env bash
# The exhaustive comparison of numeric/ (bench/numeric/README.md): on Linux
# against glibc as it runs on this CPU and against glibc's plain build (its
# FMA and AVX2 variants switched off), then the same program cross-built with
# MinGW-w64 and run under Wine, against Windows' runtime and glibc's, with the
# check that both builds give the very same bits. About 100 minutes on two busy
# cores; options go to every run, e.g. --sets pown,heading.
#
#   bench/numeric/compare.sh [--sets ...] [--sample K | --full]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FS_BENCH_BUILD:-$root/build-bench}

(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target bench_elementary >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/diffs"

echo "== Linux, glibc $(ldd --version | awk 'NR == 1 { print $NF }') as this CPU selects it"
nice -n 10 "$build/bench_elementary" --diffs-out "$work/diffs" "$@" | tee "$work/linux.txt"
echo "== Linux, glibc without its FMA and AVX2 variants"
GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2 nice -n 10 "$build/bench_elementary" "$@" |
  tee "$work/plain.txt"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
  echo "== Wine skipped: needs g++-mingw-w64-x86-64-posix and wine"
  exit 0
fi
x86_64-w64-mingw32-g++-posix -O2 -std=c++17 -ffp-contract=off -DFS_NO_MPFR -I"$root" \
  "$root/bench/numeric/CompareElementary.cpp" "$root/numeric/Elementary.cpp" -static \
  -o "$work/bench_elementary.exe"
echo "== Windows build under Wine: vs-glibc counts its runtime against the glibc run above"
WINEDEBUG=-all nice -n 10 wine "$work/bench_elementary.exe" --diffs-in "$work/diffs" "$@" |
  tr -d '\r' | tee "$work/wine.txt"

# Set, function and digest of every row: the same bits in both builds.
digests() { awk 'NR > 1 { print $1, $2, $(NF - 1) }' "$1"; }
if [ "$(digests "$work/linux.txt")" = "$(digests "$work/wine.txt")" ]; then
  echo "digests: the same bits on Linux and under Wine"
else
  echo "digests: Linux and Wine differ" >&2
  diff <(digests "$work/linux.txt") <(digests "$work/wine.txt") >&2 || true
  exit 1
fi
