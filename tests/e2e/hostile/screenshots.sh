#!/usr/bin/env bash
# F12 where it could do harm: under a file-size limit, with every name of
# the second taken and a link among them, and held down; a huge bad option
# value and a closed stderr pipe.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"

shoot() {  # shoot NAME [WRAPPER...]: F12 in a program saving to $WORK/NAME, then Escape
  local name=$1 wid
  shift
  mkdir -p "$WORK/$name"
  APP_ARGS=(--screenshot-dir "$WORK/$name")
  start_in "$WORK/run" "$name" "$@"
  wid=$(wait_window)
  check "$name: window appears" [ -n "$wid" ]
  focus "$wid"
  sleep 1.5
  ${PREPARE:-true}
  xdotool keydown F12
  sleep "${HOLD:-0.15}"
  xdotool keyup F12
  sleep 1
  check "$name: still running after F12" kill -0 "$APP_PID"
  check "$name: Escape ends with status 0" [ "$(end_with_escape "$wid")" = 0 ]
  APP_PID=""
}
lines() { grep -c "$1" "$WORK/$2.err"; }

shoot small prlimit --fsize=16384
check "small: no file is left in the folder" [ -z "$(ls -A "$WORK/small")" ]
check "small: one line says why" [ "$(lines 'screenshot not saved: .*File too large' small)$(lines screenshot small)" = 11 ]

echo "keep me" >"$WORK/target"
: >"$WORK/blank"
take_names() {  # every name up to 6 s ahead; the last one of each second a link to the target
  local next stamp
  next=$(date +%s)
  # Hard links: creating thousands of files can take seconds on a busy disk.
  while [ "$next" -le $(($(date +%s) + 6)) ]; do
    stamp=$(date -d "@$next" +%Y%m%d-%H%M%S)
    perl -e 'link $ARGV[0], "$ARGV[1]$_.png" or die "$!\n" for "", map "-$_", 1 .. 998' \
      "$WORK/blank" "$WORK/taken/flightscene-$stamp"
    ln -s "$WORK/target" "$WORK/taken/flightscene-$stamp-999.png"
    next=$((next + 1))
  done
  ls -A "$WORK/taken" | wc -l >"$WORK/taken.count"
}
PREPARE=take_names shoot taken
check "taken: the link's target is unchanged" [ "$(cat "$WORK/target")" = "keep me" ]
check "taken: no file is added" [ "$(ls -A "$WORK/taken" | wc -l)" = "$(cat "$WORK/taken.count")" ]
check "taken: one line says no name is free" [ "$(lines 'screenshot not saved: all 1000 names' taken)" = 1 ]

HOLD=3 shoot held
check "held: one press, one file" [ "$(ls -A "$WORK/held" | wc -l)$(lines 'screenshot saved to' held)" = 11 ]
check "held: the file is a whole PNG" identify "$WORK/held"/*.png

long=$(head -c 100000 /dev/zero | tr '\0' 9)
status=0
"$FS_BIN" --size "$long" 2>"$WORK/long.err" || status=$?
check "a long bad value ends with status 2 (got $status)" [ "$status" = 2 ]
check "a long bad value is echoed cut" \
  [ "$(head -1 "$WORK/long.err")" = "flightscene: --size wants WIDTHxHEIGHT, each 1..16384, got '${long:0:64}...'" ]
status=0
(sleep 0.5 && exec "$FS_BIN" --size "$long") 2> >(exit 0) || status=$?
check "a closed stderr pipe changes nothing: status 2 (got $status)" [ "$status" = 2 ]
finish
