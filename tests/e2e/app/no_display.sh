#!/usr/bin/env bash
# Without a display the window layer cannot start: status 1, nothing on stdout,
# and that before the list file is even looked at.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run"   # no PlaneList.txt at all
(cd "$WORK/run" && env -u DISPLAY "$FS_BIN" >"$WORK/stdout" 2>"$WORK/stderr")
status=$?
check "exit status 1 without a display" [ "$status" -eq 1 ]
check "nothing on stdout" [ ! -s "$WORK/stdout" ]
finish
