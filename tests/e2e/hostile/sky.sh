#!/usr/bin/env bash
# Sky-box images that are missing or corrupt: the program runs, and the
# faces whose image cannot be read are drawn plain.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
list="$(cat "$FS_DATA/PlaneList.txt")"

mkdir -p "$WORK/normal" "$WORK/missing" "$WORK/corrupt/img"
for d in normal missing corrupt; do
  ln -s "$FS_DATA/models" "$WORK/$d/models"
  printf '%s' "$list" >"$WORK/$d/PlaneList.txt"
done
ln -s "$FS_DATA/img" "$WORK/normal/img"
# Junk, nothing at all, and a Targa header promising pixels that never come.
head -c 2048 /dev/urandom >"$WORK/corrupt/img/side.tga"
: >"$WORK/corrupt/img/above.tga"
head -c 30 "$FS_DATA/img/floor.tga" >"$WORK/corrupt/img/floor.tga"

run_scene normal "$WORK/normal"
run_scene missing "$WORK/missing"
run_scene corrupt "$WORK/corrupt"

missing_diff=$(differing_pixels "$WORK/normal.png" "$WORK/missing.png")
check "without images the sky looks different ($missing_diff pixels)" [ "${missing_diff%%.*}" -gt 10000 ]
check "corrupt images give the same plain faces as missing ones" \
  [ "$(differing_pixels "$WORK/missing.png" "$WORK/corrupt.png")" = 0 ]
finish
