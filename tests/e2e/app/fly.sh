#!/usr/bin/env bash
# The real program under X: real key events fly the aircraft, Tab strokes are
# taken, and closing the window ends it with status 0. Started elsewhere, it
# works in the directory --data names.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"
mkdir "$WORK/elsewhere"
start_app "$WORK/elsewhere" --data "$WORK/run" --size 800x600
wid=$(wait_window)
check "window titled appTitle appears" [ -n "$wid" ]
[ -n "$wid" ] || finish
check "the window is 800x600" [ "$(xdotool getwindowgeometry "$wid" | grep -c 'Geometry: 800x600')" = 1 ]
focus "$wid"
sleep 1
shot "$wid" "$WORK/before.png"
check "start-up frame is not black" [ "$(convert "$WORK/before.png" -format '%[fx:mean>0.05]' info:)" = 1 ]
xdotool keydown w
sleep 2
xdotool keydown Left
sleep 1
xdotool keyup Left
sleep 1
xdotool keyup w
sleep 0.5
shot "$wid" "$WORK/after.png"
moved=$(differing_pixels "$WORK/before.png" "$WORK/after.png")
echo "pixels changed by flying: $moved"
check "holding W and Left moves the view" [ "${moved%%.*}" -gt 1000 ]
for _ in 1 2 3 4; do stroke Tab; done
check "still running after Tab strokes" kill -0 "$APP_PID"
# Keys the program does not watch are harmless.
xdotool key q F5 space Return a n
sleep 0.3
check "still running after other keys" kill -0 "$APP_PID"
"$FS_XCLOSE" appTitle
wait_exit 20
status=$EXIT_STATUS
check "closing the window ends with status 0 (got $status)" [ "$status" = 0 ]
check "nothing on stdout" [ ! -s "$WORK/stdout" ]
finish
