#!/usr/bin/env bash
# flightscene.exe under Wine, driven through X as a user drives it: the
# window, keys, Escape, the list file's messages on standard output, a junk
# model left out in one line, F12's screenshot; and flights recorded on one
# platform replay on the other to the same aircraft states, to the bit.
# Usage: program.sh FLIGHTSCENE.EXE DATADIR LINUX_BUILD (a build/ folder
# with flightscene and flightscene-snapshot, or "none" to skip replays)
exe=$1 data=$2 linux=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)
wrapper=$(mktemp)
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$root/scripts/wine.sh" "$exe" >"$wrapper"
chmod +x "$wrapper"
source "$root/tests/support/e2e.sh" "$wrapper" none "$data"
trap 'cleanup; rm -f "$wrapper"' EXIT
SNAPSHOT_EXE="$(dirname "$exe")/flightscene-snapshot.exe"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"

# A flight: W, a turn, Tab, a climb. Leaves before.png and after.png.
fly() {  # fly WINDOW
  shot "$1" "$WORK/before.png"
  xdotool keydown w
  sleep 1.5
  xdotool keydown Left
  sleep 0.5
  xdotool keyup Left
  stroke Tab
  xdotool keydown Up
  sleep 0.5
  xdotool keyup Up w
  shot "$1" "$WORK/after.png"
}

mkdir "$WORK/skärmbilder"
start_app "$WORK/run" --size 480x360 --record "$WORK/wine.rec" --screenshot-dir "$WORK/skärmbilder"
wid=$(wait_window 120)
check "the window titled appTitle appears" [ -n "$wid" ]
[ -n "$wid" ] || finish
focus "$wid"
settled_shot "$wid" "$WORK/start.png" 60
check "the first picture is not black" \
  [ "$(convert "$WORK/start.png" -format '%[fx:mean>0.05]' info:)" = 1 ]
fly "$wid"
moved=$(differing_pixels "$WORK/before.png" "$WORK/after.png")
check "W, Left, Tab and Up change the picture ($moved pixels)" [ "${moved%%.*}" -gt 1000 ]
stroke F12
for _ in $(seq 100); do [ -n "$(ls -A "$WORK/skärmbilder")" ] && break; sleep 0.1; done
check "F12 writes a PNG into --screenshot-dir" \
  [ "$(identify -format %m "$WORK/skärmbilder"/*.png 2>/dev/null)" = PNG ]
status=$(end_with_escape "$wid" 60)
[ "$status" = running ] || APP_PID=""
check "Escape ends with status 0 (got $status)" [ "$status" = 0 ]
check "nothing on standard output" [ ! -s "$WORK/stdout" ]

# The list file's messages go to standard output, redirected here.
mkdir "$WORK/empty"
(cd "$WORK/empty" && timeout 120 "$FS_BIN" >"$WORK/missing.out" 2>"$WORK/missing.err")
status=$?
check "a missing list file: status 1 (got $status)" [ "$status" = 1 ]
check "a missing list file: its message on standard output" \
  [ "$(cat "$WORK/missing.out")" = "Cann't open PlaneList file! Exiting..." ]

# A junk model, one whose reader overflows the stack and a device are each
# left out in one line; the rest of the fleet flies. Names are UTF-8, in a
# folder whose name is not ASCII either.
junk="$WORK/flygfält"
make_rundir "$junk"
printf 'not a model' >"$junk/skräp.iv"
{ echo '#Inventor V2.1 ascii'; for _ in $(seq 20000); do echo 'Separator {'; done; } >"$junk/deep.iv"
cp "$FS_DATA/models/cub.iv" "$junk/piper-å.iv"
{ printf '%s 1 1 0\n' skräp.iv deep.iv NUL piper-å.iv; cat "$FS_DATA/PlaneList.txt"; } >"$junk/PlaneList.txt"
run_scene junk "$junk"
# Lines end in CR LF, as text does on Windows.
said() { tr -d '\r' <"$WORK/junk.err" | grep -c "^aircraft: model $1 left out: $2\$"; }
check "bad models: one line each says why; a good one named in UTF-8 is read" \
  [ "$(said skräp.iv '.*')$(said piper-å.iv '.*')$(said deep.iv 'reading it overflows the stack or crashes')$(said NUL 'not a regular file')$(wc -l <"$WORK/junk.err")" = 10113 ]

if [ "$linux" != none ]; then
  # Recorded under Wine, replayed on Linux: the snapshot tool ends with 1
  # when a tick's aircraft states differ from the recording's.
  "$linux/flightscene-snapshot" --data "$WORK/run" --size 64x48 --replay "$WORK/wine.rec" \
    --out "$WORK/replayed.png" 2>"$WORK/linux-replay.err"
  status=$?
  check "a flight recorded under Wine replays on Linux and matches (status $status)" [ "$status" = 0 ]
  [ "$status" = 0 ] || cat "$WORK/linux-replay.err"
  # Recorded on Linux, replayed under Wine.
  (cd "$WORK/run" && exec "$linux/flightscene" --size 480x360 --record "$WORK/linux.rec") &
  linux_pid=$!
  lwid=""
  for _ in $(seq 600); do
    lwid=$(xdotool search --onlyvisible --pid "$linux_pid" --name '^appTitle$' 2>/dev/null | head -1)
    [ -n "$lwid" ] && break
    sleep 0.1
  done
  if [ -n "$lwid" ]; then
    focus "$lwid"
    sleep 1
    fly "$lwid"
    focus "$lwid"
    xdotool keydown Escape
  fi
  wait "$linux_pid"
  xdotool keyup Escape
  "$root/scripts/wine.sh" "$SNAPSHOT_EXE" --data "$WORK/run" --size 64x48 --replay "$WORK/linux.rec" \
    --out "$WORK/replayed-wine.png" 2>"$WORK/wine-replay.err"
  status=$?
  check "a flight recorded on Linux replays under Wine and matches (status $status)" \
    [ -n "$lwid" -a "$status" = 0 ]
  [ "$status" = 0 ] || cat "$WORK/wine-replay.err"
fi
finish
