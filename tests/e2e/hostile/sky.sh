#!/usr/bin/env bash
# Sky-box images that are missing, corrupt or no regular files (a FIFO, a
# directory, a device): the program runs, never blocks on them, and the
# faces whose image cannot be read are drawn plain, with one line on
# stderr per image. Good images show even where nothing can be written.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
list="$(cat "$FS_DATA/PlaneList.txt")"

mkdir -p "$WORK/normal" "$WORK/missing" "$WORK/corrupt/img" "$WORK/special/img" "$WORK/shared/img"
for d in normal missing corrupt special shared; do
  ln -s "$FS_DATA/models" "$WORK/$d/models"
  printf '%s' "$list" >"$WORK/$d/PlaneList.txt"
done
ln -s "$FS_DATA/img" "$WORK/normal/img"
# Junk, nothing at all, and a Targa header promising pixels that never come.
head -c 2048 /dev/urandom >"$WORK/corrupt/img/side.tga"
: >"$WORK/corrupt/img/above.tga"
head -c 30 "$FS_DATA/img/floor.tga" >"$WORK/corrupt/img/floor.tga"
ln -s /dev/urandom "$WORK/special/img/side.tga"
mkfifo "$WORK/special/img/above.tga"
mkdir "$WORK/special/img/floor.tga"
# Three names for one bad file.
for f in side above floor; do ln -s /dev/zero "$WORK/shared/img/$f.tga"; done
# Targa headers of no width and of no height: images without pixels.
mkdir -p "$WORK/empty/img"
ln -s "$FS_DATA/models" "$WORK/empty/models"
printf '%s' "$list" >"$WORK/empty/PlaneList.txt"
printf '\0\0\2\0\0\0\0\0\0\0\0\0\0\0\1\0\30\0' >"$WORK/empty/img/side.tga"
printf '\0\0\2\0\0\0\0\0\0\0\0\0\1\0\0\0\30\0\0\0\0' >"$WORK/empty/img/above.tga"
ln -s "$FS_DATA/img/floor.tga" "$WORK/empty/img/floor.tga"

run_scene normal "$WORK/normal"
run_scene missing "$WORK/missing"
run_scene corrupt "$WORK/corrupt"
run_scene special "$WORK/special"
run_scene empty "$WORK/empty"
run_scene shared "$WORK/shared"
# Images are decoded from the bytes read: with a 16-block file-size limit
# and a read-only temporary folder, where no copy of one could be written,
# the sky is the same.
mkdir "$WORK/tmp-ro" && chmod 555 "$WORK/tmp-ro"
run_scene no-room "$WORK/normal" "${AS_USER[@]}" env TMPDIR="$WORK/tmp-ro" \
  bash -c 'ulimit -f 16 && exec "$0"'

missing_diff=$(differing_pixels "$WORK/normal.png" "$WORK/missing.png")
check "without images the sky looks different ($missing_diff pixels)" [ "${missing_diff%%.*}" -gt 10000 ]
check "corrupt images give the same plain faces as missing ones" \
  [ "$(differing_pixels "$WORK/missing.png" "$WORK/corrupt.png")" = 0 ]
check "a device, a FIFO and a directory give plain faces too" \
  [ "$(differing_pixels "$WORK/missing.png" "$WORK/special.png")" = 0 ]
for d in missing corrupt special shared; do
  check "$d: one line on stderr per image" [ "$(grep -c '^sky: img/.*left plain' "$WORK/$d.err")" -eq 3 ]
done
no_room_diff=$(differing_pixels "$WORK/normal.png" "$WORK/no-room.png")
check "no room to write: the same sky ($no_room_diff pixels differ)" [ "$no_room_diff" = 0 ]
check "no room to write: no image left plain" bash -c '! grep -q "left plain" "$1"' _ "$WORK/no-room.err"
check "images without pixels: one line each" [ "$(grep -c '^sky: img/.*left plain' "$WORK/empty.err")" -eq 2 ]
finish
