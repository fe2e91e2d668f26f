#!/usr/bin/env bash
# Regenerates the reference pictures of the snapshot render tests
# (tests/render/tools/reference/*.png) from the current renderer. Run it on
# purpose, after a change that is meant to alter the picture, and look at
# the new images before committing them. Usage: scripts/snapshots.sh [NAME...]
# (no names: every moment in tests/render/tools/moments.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
moments="$root/tests/render/tools/moments.txt"
refdir="$root/tests/render/tools/reference"

(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" --target flightscene-snapshot >/dev/null
mkdir -p "$refdir"

wanted=" $* "
found=0
while read -r name options; do
  case "$name" in ''|'#'*) continue ;; esac
  if [ $# -gt 0 ] && [[ "$wanted" != *" $name "* ]]; then continue; fi
  found=$((found + 1))
  # shellcheck disable=SC2086
  "$root/scripts/with-display.sh" "$build/flightscene-snapshot" --size 320x240 $options \
    --out "$refdir/$name.png"
  echo "wrote $refdir/$name.png"
done <"$moments"
[ "$found" -gt 0 ] || { echo "snapshots: no moment named $*" >&2; exit 2; }
