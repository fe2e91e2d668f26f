#!/usr/bin/env bash
# Model files that cannot be drawn: missing, empty, binary junk, Inventor
# text without a shape, a name too long for the file system. The program
# runs and draws the aircraft whose model is good, exactly as if the bad
# entries were not there; the scene library's complaints go to stderr.
# Odd but valid names (non-ASCII, 1019 characters) load their models.
source "$(dirname "$0")/../../support/e2e.sh" "$@"

models="$WORK/models"
mkdir -p "$models"
cp "$FS_DATA/models/cub.iv" "$models/cub.iv"
: >"$models/empty.iv"
head -c 4096 /dev/urandom >"$models/junk.iv"
printf '#Inventor V2.1 ascii\n\nMaterial { diffuseColor 1 0 0 }\nTranslation { translation 1 2 3 }\nInfo { string "no shape here" }\n' >"$models/noshape.iv"
cp "$FS_DATA/models/cub.iv" "$models/flügzeug-飛行機.iv"
# A 300-byte file name component: longer than any file system allows.
toolong="models/$(printf 'x%.0s' $(seq 300)).iv"
# 1019 characters, the longest name a list may hold, that still names cub.iv:
# 503 "./" then "models/cub.iv".
longname="$(printf './%.0s' $(seq 503))models/cub.iv"
check "long name is 1019 characters (${#longname})" [ "${#longname}" -eq 1019 ]

rundir() {  # rundir NAME LISTTEXT
  mkdir -p "$WORK/$1"
  ln -s "$FS_DATA/img" "$WORK/$1/img"
  ln -s "$models" "$WORK/$1/models"
  printf '%s' "$2" >"$WORK/$1/PlaneList.txt"
}

rundir good 'models/cub.iv 1 0.25 0'
rundir bad "models/missing.iv 1 0.25 0
models/empty.iv 1 0.25 0
models/junk.iv 1 0.25 0
models/noshape.iv 1 0.25 0
$toolong 1 0.25 0
models/cub.iv 1 0.25 0
"
rundir none 'models/missing.iv 1 0.25 0'
rundir odd "models/flügzeug-飛行機.iv 1 0.25 0
$longname 1 0.25 0
"

run_scene good "$WORK/good"
run_scene bad "$WORK/bad"
run_scene none "$WORK/none"
run_scene odd "$WORK/odd"

check "good models load silently" [ ! -s "$WORK/good.err" ]
check "bad models: the scene library reports on stderr" [ -s "$WORK/bad.err" ]
check "bad models: the good aircraft looks as it does alone" \
  [ "$(differing_pixels "$WORK/good.png" "$WORK/bad.png")" = 0 ]
# Without this the comparison above could pass with no aircraft drawn at all.
none_diff=$(differing_pixels "$WORK/good.png" "$WORK/none.png")
check "an aircraft without a model is invisible ($none_diff pixels differ)" [ "${none_diff%%.*}" -gt 50 ]
check "non-ASCII and 1019-character names load their models silently" [ ! -s "$WORK/odd.err" ]
check "they draw the same aircraft" [ "$(differing_pixels "$WORK/good.png" "$WORK/odd.png")" = 0 ]
finish
