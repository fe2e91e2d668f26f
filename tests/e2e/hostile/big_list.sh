#!/usr/bin/env bash
# A list of 10,000 aircraft: the program starts (slowly), keeps running and
# still ends on Escape with status 0.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/big"
models=(models/cub.iv models/jet.iv models/biplane.iv)
for i in $(seq 0 9999); do
  echo "${models[$((i % 3))]} 1 0.25 $i"
done >"$WORK/big/PlaneList.txt"
SCENE_TIMEOUT=${SCENE_TIMEOUT:-900}
run_scene big "$WORK/big"
check "no complaints on stderr" [ ! -s "$WORK/big.err" ]
finish
