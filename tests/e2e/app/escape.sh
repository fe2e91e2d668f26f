#!/usr/bin/env bash
# Escape ends the program with status 0.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"
start_app "$WORK/run"
wid=$(wait_window)
check "window appears" [ -n "$wid" ]
[ -n "$wid" ] || finish
focus "$wid"
sleep 0.5
# Held until the program ends: a stroke shorter than one frame could fall
# between two ticks, which by design never see it.
xdotool keydown Escape
wait_exit 60
xdotool keyup Escape
status=$EXIT_STATUS
check "Escape ends with status 0 (got $status)" [ "$status" = 0 ]
check "nothing on stdout" [ ! -s "$WORK/stdout" ]
finish
