#!/usr/bin/env bash
# The frame time of the Windows build under Wine beside the native one, on
# the same display: the snapshot tool flies the same scripted flight and
# writes 61 frames or 1 frame; the difference over 60 is one frame's time
# (drawing, reading back, PNG), the same work on both. Runs alternate, so
# the load of a shared machine falls on both alike. Prints
#   native_frame_ms, wine_frame_ms, ratio (medians of REPS runs).
# Usage: wine-frames.sh NATIVE_SNAPSHOT WINDOWS_SNAPSHOT.EXE DATADIR [REPS] [WxH]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$1 windows=$2 data=$3 reps=${4:-3} size=${5:-1024x768}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flight=(--data "$data" --size "$size" --ticks 240 --hold W:1-240 --hold Left:100-140)
seconds() {  # seconds FRAMES PROGRAM...: wall time of one run
  local frames=$1 t0
  shift
  t0=$(date +%s.%N)
  "$@" "${flight[@]}" --frames "$frames" --out "$work/f.png" >/dev/null 2>&1
  awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { print b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# A first run of each warms the caches (and starts Wine's server).
seconds 1 "$native" >/dev/null
seconds 1 "$root/scripts/wine.sh" "$windows" >/dev/null
for _ in $(seq "$reps"); do
  for side in native wine; do
    if [ "$side" = native ]; then run=("$native"); else run=("$root/scripts/wine.sh" "$windows"); fi
    one=$(seconds 1 "${run[@]}")
    many=$(seconds 61 "${run[@]}")
    awk -v a="$one" -v b="$many" 'BEGIN { print (b - a) * 1000 / 60 }' >>"$work/$side"
  done
done
n=$(median <"$work/native") w=$(median <"$work/wine")
echo "native_frame_ms $n"
echo "wine_frame_ms $w"
awk -v n="$n" -v w="$w" 'BEGIN { printf "ratio %.2f\n", w / n }'
