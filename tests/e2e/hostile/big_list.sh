#!/usr/bin/env bash
# Lists of 100,000 aircraft, of real models and of a missing one: the
# window comes up, the program keeps running and still ends on Escape with
# status 0; the missing model is reported once.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/big"
make_rundir "$WORK/missing"
awk 'BEGIN { split("cub jet biplane", m, " "); for (i = 0; i < 100000; i++) printf "models/%s.iv 1 0.25 %d\n", m[i % 3 + 1], i }' >"$WORK/big/PlaneList.txt"
awk 'BEGIN { for (i = 0; i < 100000; i++) print "models/gone.iv 1 0.25 0" }' >"$WORK/missing/PlaneList.txt"
SCENE_TIMEOUT=${SCENE_TIMEOUT:-600}
run_scene big "$WORK/big"
check "no complaints on stderr" [ ! -s "$WORK/big.err" ]
run_scene missing "$WORK/missing"
check "the missing model: one line" [ "$(wc -l <"$WORK/missing.err")" -eq 1 ]
finish
