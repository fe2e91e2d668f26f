#!/usr/bin/env bash
# Regenerates the README pictures in docs/ with flightscene-snapshot:
# startup.png (the start-up view), flight.png (a left turn among the clouds)
# and flight.gif (the same flight as a short animation, made with
# ImageMagick); and cockpit.png (key help and heads-up display) with the
# real program's screenshot key. Usage: scripts/readme-pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
docs="$root/docs"

(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" --target flightscene-snapshot flightscene >/dev/null
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

# The real program under X keys: a moment of flight, then help, heads-up
# display and the screenshot key.
cockpit() {
  local shots wid pid
  shots=$(mktemp -d)
  (cd "$root/data" && exec "$build/flightscene" --screenshot-dir "$shots" 2>/dev/null) &
  pid=$!
  for _ in $(seq 300); do
    wid=$(xdotool search --onlyvisible --name '^appTitle$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  xdotool windowfocus --sync "$wid"
  sleep 1
  xdotool keydown w; sleep 2.5; xdotool keyup w
  xdotool key h F1; sleep 1.5
  xdotool key F12; sleep 1
  xdotool keydown Escape; wait "$pid" || true; xdotool keyup Escape
  mv "$shots"/*.png "$docs/cockpit.png"
  rm -rf "$shots"
}
"$root/scripts/with-display.sh" bash -c "$(declare -f cockpit); root='$root' build='$build' docs='$docs' cockpit"

ls -l "$docs"/startup.png "$docs"/cockpit.png "$docs"/flight.png "$docs"/flight.gif
