#!/usr/bin/env bash
# Without a display the window layer cannot start: status 1, nothing on stdout,
# one line on stderr saying so, and that before the list file is even looked
# at. The command line answers without a display.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run"   # no PlaneList.txt at all
(cd "$WORK/run" && env -u DISPLAY "$FS_BIN" >"$WORK/stdout" 2>"$WORK/stderr")
status=$?
check "exit status 1 without a display" [ "$status" -eq 1 ]
check "nothing on stdout" [ ! -s "$WORK/stdout" ]
check "one line on stderr" [ "$(wc -l <"$WORK/stderr")" -eq 1 ]
check "it says there is no display and how to run headless" \
  grep -q "no display.*xvfb-run" "$WORK/stderr"
check "no raw GLFW text" bash -c '! grep -q GLFW "$1"' _ "$WORK/stderr"
FLIGHTSCENE_GL_CHECK=1 env -u DISPLAY "$FS_BIN" >/dev/null 2>"$WORK/stderr"
check "GLFW's own text with FLIGHTSCENE_GL_CHECK=1" grep -q "GLFW error" "$WORK/stderr"

for option in --help --version; do
  env -u DISPLAY "$FS_BIN" $option >"$WORK/stdout" 2>"$WORK/stderr"
  status=$?
  check "$option: status 0 without a display (got $status)" [ "$status" -eq 0 ]
  check "$option: nothing on stderr" [ ! -s "$WORK/stderr" ]
  cp "$WORK/stdout" "$WORK/out$option"
done
check "--help lists the options" bash -c 'for o in --data --size --fullscreen --version; do
  grep -q -- "$o" "$1" || exit 1; done' _ "$WORK/out--help"
check "--version names program and version" grep -qx "flightscene [0-9][0-9.]*" "$WORK/out--version"

for bad in "--bogus" "--size 640" "--size 0x10" "--data" "stray"; do
  # shellcheck disable=SC2086
  env -u DISPLAY "$FS_BIN" $bad >"$WORK/stdout" 2>"$WORK/stderr"
  status=$?
  check "'$bad': status 2 (got $status)" [ "$status" -eq 2 ]
  check "'$bad': usage on stderr, nothing on stdout" \
    bash -c 'grep -q "^Usage: flightscene" "$1" && [ ! -s "$2" ]' _ "$WORK/stderr" "$WORK/stdout"
done

"$FS_BIN" --data "$WORK/run/PlaneList.txt-none" >"$WORK/stdout" 2>"$WORK/stderr"
status=$?
check "--data on a missing directory: status 1 (got $status)" [ "$status" -eq 1 ]
check "... with one line on stderr naming it" \
  bash -c '[ "$(wc -l <"$1")" -eq 1 ] && grep -q "PlaneList.txt-none" "$1"' _ "$WORK/stderr"
finish
