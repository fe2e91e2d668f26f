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

# A 4096 x 4096 texture (2 KB on disk) on a cube, named by one and by
# eight entries: a model is read, decoded and uploaded once.
perl -MCompress::Zlib -e '
  my $chunk = sub { pack("N", length $_[1]) . $_[0] . $_[1] . pack("N", crc32($_[0] . $_[1])) };
  my $d = deflateInit(-Level => 9); my $z = "";
  for (1 .. 4096) { $z .= ($d->deflate("\0" x 513))[0] } $z .= ($d->flush())[0];
  binmode STDOUT;
  print "\x89PNG\r\n\x1a\n", $chunk->("IHDR", pack("NNCCCCC", 4096, 4096, 1, 3, 0, 0, 0)),
    $chunk->("PLTE", "\xff\xff\xff\0\0\0"), $chunk->("IDAT", $z), $chunk->("IEND", "");' >"$models/big.png"
printf '#Inventor V2.1 ascii\nTexture2 { filename "big.png" } Cube {}\n' >"$models/bigtex.iv"
peak_kb() {  # peak_kb NAME DIR: the program's peak RSS once its picture settled
  start_in "$2" "$1"
  local wid
  wid=$(wait_window 180)
  if [ -z "$wid" ]; then
    fail "$1: window appears"
    return
  fi
  settled_shot "$wid" "$WORK/$1.png" >/dev/null
  awk '$1 == "VmHWM:" { print $2 }' "/proc/$APP_PID/status"
  end_with_escape "$wid" >/dev/null
}
rundir tex1 'models/bigtex.iv 1 0.25 0'
rundir tex8 "$(for _ in $(seq 8); do echo 'models/bigtex.iv 1 0.25 0'; done)"
tex1=$(peak_kb tex1 "$WORK/tex1")
tex8=$(peak_kb tex8 "$WORK/tex8")
check "eight aircraft of one textured model take the memory of one ($tex1 KB, $tex8 KB)" \
  [ "$tex8" -lt $((tex1 + 50000)) ]

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
