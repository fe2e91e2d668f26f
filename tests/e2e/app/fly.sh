#!/usr/bin/env bash
# The real program under X: real key events fly the aircraft, keys held when
# the focus leaves are released, Tab follows the next aircraft, keys without
# a flight action change nothing, and closing the window ends it with status 0. Started elsewhere, it works in the directory
# --data names.
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
# A key held while the focus moves to another window must not stay held:
# W must stop accelerating the aircraft, so once S has braked it to rest
# the picture stands still.
display -title other -geometry 64x64+600+600 xc:gray &
other_pid=$!
other=""
for _ in $(seq 100); do
  other=$(xdotool search --onlyvisible --name '^other$' 2>/dev/null | head -1)
  [ -n "$other" ] && break
  sleep 0.1
done
check "a second window to take the focus appears" [ -n "$other" ]
# W goes up while the other window has the focus, so the program never
# sees that release itself.
focus "$wid"
xdotool keydown w
sleep 1
[ -n "$other" ] && focus "$other"
sleep 0.5
xdotool keyup w
kill "$other_pid" 2>/dev/null
focus "$wid"
xdotool keydown s
sleep 4
xdotool keyup s
# A loaded machine may draw late: wait for two equal pictures in a row. A
# held W would keep the aircraft accelerating, and the picture moving.
rest=1
shot "$wid" "$WORK/rest1.png"
for _ in $(seq 30); do
  sleep 1
  shot "$wid" "$WORK/rest2.png"
  rest=$(differing_pixels "$WORK/rest1.png" "$WORK/rest2.png")
  [ "$rest" = 0 ] && break
  cp "$WORK/rest2.png" "$WORK/rest1.png"
done
check "a key held when the focus left is released" [ "$rest" = 0 ]
# The fleet flies in formation, so only the heads-up display ("n of N")
# shows that a Tab stroke follows the next aircraft.
stroke h
settled_shot "$wid" "$WORK/first.png" 30
stroke Tab
settled_shot "$wid" "$WORK/next.png" 30
check "a Tab stroke follows the next aircraft" [ "$(differing_pixels "$WORK/first.png" "$WORK/next.png")" != 0 ]
# Keys without a flight action, in the key table (Space, Return, A, N) or
# not (Q, F5), leave the view as it is.
for key in q F5 space Return a n; do stroke "$key"; done
settled_shot "$wid" "$WORK/keys.png" 30
check "keys without a flight action change nothing" [ "$(differing_pixels "$WORK/next.png" "$WORK/keys.png")" = 0 ]
"$FS_XCLOSE" appTitle
wait_exit 20
status=$EXIT_STATUS
check "closing the window ends with status 0 (got $status)" [ "$status" = 0 ]
check "nothing on stdout" [ ! -s "$WORK/stdout" ]
finish
