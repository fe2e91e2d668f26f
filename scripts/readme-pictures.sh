#!/usr/bin/env bash
# Regenerates the README pictures in docs/ with flightscene-snapshot:
# startup.png (the start-up view), flight.png (a left turn among the clouds)
# and flight.gif (the same flight as a short animation, made with
# ImageMagick). Usage: scripts/readme-pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
docs="$root/docs"

(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" --target flightscene-snapshot >/dev/null
shot() { "$root/scripts/with-display.sh" "$build/flightscene-snapshot" "$@"; }
mkdir -p "$docs"

# Full throttle towards the cloud grid, then a short bank to the left; the
# still shows the aircraft banking among the clouds at tick 480.
flight=(--hold W:1-540 --hold Left:440-450)

shot --size 1024x768 --ticks 1 --out "$docs/startup.png"
shot --size 1024x768 --ticks 480 "${flight[@]}" --out "$docs/flight.png"

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
shot --size 320x240 --ticks 540 "${flight[@]}" --frames 36 --out "$frames/frame.png"
# 36 frames of 15 ticks (a quarter second of flight) each, shown at 10 a
# second; 128 colours without dithering, and pixels that change by less than
# 2% left as they were, keep the file small.
convert -delay 10 -loop 0 "$frames"/frame-*.png +dither -colors 128 -fuzz 2% -layers Optimize \
  "$docs/flight.gif"

ls -l "$docs"/startup.png "$docs"/flight.png "$docs"/flight.gif
