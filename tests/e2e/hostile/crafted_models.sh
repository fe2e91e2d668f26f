#!/usr/bin/env bash
# Model files made to break the reader or the renderer: a file node that
# names itself or its partner, 20,000 nested groups, indices and vertex
# counts past their data, a binary file whose point count never ends, a
# texture that decodes to gigabytes, devices and FIFOs in place of files.
# Each is left out with one line on stderr; the program comes up, draws the
# good aircraft exactly as it does alone, and ends on Escape.
source "$(dirname "$0")/../../support/e2e.sh" "$@"

make_rundir "$WORK/good" 'models/cub.iv 1 0.25 0'
mkdir -p "$WORK/bad/models"
ln -s "$FS_DATA/img" "$WORK/bad/img"
cp "$FS_DATA/models/cub.iv" "$WORK/bad/models/cub.iv"
m="$WORK/bad/models"
head='#Inventor V2.1 ascii'
tri='Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }'
printf '%s\nFile { name "models/self.iv" }\n' "$head" >"$m/self.iv"
printf '%s\nFile { name "models/pong.iv" }\n' "$head" >"$m/ping.iv"
printf '%s\nFile { name "models/ping.iv" }\n' "$head" >"$m/pong.iv"
{ echo "$head"; for _ in $(seq 20000); do echo 'Separator {'; done; for _ in $(seq 20000); do echo '}'; done; } >"$m/deep.iv"
printf '%s\n%s IndexedFaceSet { coordIndex [0, 1, 99999999, -1] }\n' "$head" "$tri" >"$m/coord.iv"
printf '%s\nMaterialBinding { value PER_FACE_INDEXED } Material { diffuseColor [1 0 0] }\n%s IndexedFaceSet { coordIndex [0, 1, 2, -1] materialIndex [50000000] }\n' "$head" "$tri" >"$m/material.iv"
printf '%s\nNormalBinding { value PER_VERTEX_INDEXED } Normal { vector [0 0 1] }\n%s IndexedFaceSet { coordIndex [0, 1, 2, -1] normalIndex [0, 0, 90000000, -1] }\n' "$head" "$tri" >"$m/normal.iv"
printf '%s\nTextureCoordinate2 { point [0 0] }\n%s IndexedFaceSet { coordIndex [0, 1, 2, -1] textureCoordIndex [0, 0, 80000000, -1] }\n' "$head" "$tri" >"$m/texcoord.iv"
printf '%s\n%s FaceSet { numVertices [1000000000] }\n' "$head" "$tri" >"$m/faceset.iv"
# Binary Inventor: Separator { Coordinate3 { point [...] } PointSet {} }
# with the point count patched to 0x7fffffff.
printf '%b' \
  '\x23\x49\x6e\x76\x65\x6e\x74\x6f\x72\x20\x56\x32\x2e\x31\x20\x62\x69\x6e\x61\x72\x79\x20\x20\x0a'\
'\x00\x00\x00\x09\x53\x65\x70\x61\x72\x61\x74\x6f\x72\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00'\
'\x00\x00\x00\x02\x00\x00\x00\x0b\x43\x6f\x6f\x72\x64\x69\x6e\x61\x74\x65\x33\x00\x00\x00\x00\x00'\
'\x00\x00\x00\x01\x00\x00\x00\x05\x70\x6f\x69\x6e\x74\x00\x00\x00\x7f\xff\xff\xff\x3f\x80\x00\x00'\
'\x40\x00\x00\x00\x40\x40\x00\x00\x40\x80\x00\x00\x40\xa0\x00\x00\x40\xc0\x00\x00\x00\x00\x00\x00'\
'\x00\x00\x00\x08\x50\x6f\x69\x6e\x74\x53\x65\x74\x00\x00\x00\x00\x00\x00\x00\x00' >"$m/count.iv"
# A 32768 x 32768 PNG of 130 KB.
perl -MCompress::Zlib -e '
  my ($w, $h) = (32768, 32768);
  my $chunk = sub { pack("N", length $_[1]) . $_[0] . $_[1] . pack("N", crc32($_[0] . $_[1])) };
  my $d = deflateInit(-Level => 9); my $z = ""; my $row = "\0" x (1 + $w / 8);
  for (1 .. $h) { $z .= ($d->deflate($row))[0] } $z .= ($d->flush())[0];
  binmode STDOUT;
  print "\x89PNG\r\n\x1a\n", $chunk->("IHDR", pack("NNCCCCC", $w, $h, 1, 3, 0, 0, 0)),
    $chunk->("PLTE", "\xff\xff\xff\0\0\0"), $chunk->("IDAT", $z), $chunk->("IEND", "");' >"$m/huge.png"
printf '%s\nTexture2 { filename "huge.png" } Cube {}\n' "$head" >"$m/hugetex.iv"
mkfifo "$m/fifo.iv" "$m/fifo.png"
printf '\0\0\2\0\0\0\0\0\0\0\0\0\0\0\1\0\30\0' >"$m/empty.tga"
printf '%s\nTexture2 { filename "empty.tga" } Cube {}\n' "$head" >"$m/emptytex.iv"
printf '%s\nTexture2 { filename "fifo.png" } Cube {}\n' "$head" >"$m/fifotex.iv"

# The endless binary read comes first: it is cut off only after a reader's
# whole time, which must not depend on how long the others took under load.
bad=(models/count.iv models/self.iv models/ping.iv models/deep.iv models/coord.iv models/material.iv
  models/normal.iv models/texcoord.iv models/faceset.iv models/emptytex.iv models/hugetex.iv
  models/fifo.iv models/fifotex.iv /dev/zero /dev/urandom)
check "generated models are small (count.iv $(wc -c <"$m/count.iv") bytes)" [ "$(wc -c <"$m/count.iv")" -lt 200 ]
# Every bad model twice: each is tried and reported once. The good one
# comes first, before the slow bad ones spend the time for reading files.
echo 'models/cub.iv 1 0.25 0' >"$WORK/bad/PlaneList.txt"
for name in "${bad[@]}" "${bad[@]}"; do echo "$name 1 0.25 0"; done >>"$WORK/bad/PlaneList.txt"

# One endless model under three spellings is one file, read once; three
# more endless ones find the reading time spent.
make_rundir "$WORK/slow"
rm "$WORK/slow/models" && mkdir "$WORK/slow/models"
printf '%s\nFile { name "/dev/zero" }\n' "$head" >"$WORK/slow/models/zero.iv"
for i in 1 2 3; do
  printf '%s\nFile { name "/dev/zero" }\n' "$head" >"$WORK/slow/models/wait$i.iv"
done
printf '%s 1 0.25 0\n' models/zero.iv ./models/zero.iv models//zero.iv \
  models/wait1.iv models/wait2.iv models/wait3.iv >"$WORK/slow/PlaneList.txt"

# Textures that turn into a FIFO and /dev/zero once the reader child has
# read them (their first read sets the access time), while it still parses
# the long model after them (seconds, so the swap comes before the program
# parses it): the program reads the textures through a checked descriptor
# again, so it neither blocks nor spins, and says so.
make_rundir "$WORK/swap" 'models/swap.iv 1 0.25 0'
rm "$WORK/swap/models" && s="$WORK/swap/models" && mkdir "$s" && mkfifo "$s/fifo"
cp "$FS_DATA/img/floor.tga" "$s/ra.tga" && cp "$s/ra.tga" "$s/rb.tga"
ln -s ra.tga "$s/a.tga" && ln -s rb.tga "$s/b.tga" && touch -a -d 2000-01-01 "$s/ra.tga"
{ echo "$head"; echo 'Texture2 { filename "a.tga" } Texture2 { filename "b.tga" } Cube {}'
  echo 'Coordinate3 { point ['; yes '1 2 3,' | head -1200000; echo '] }'; } >"$s/swap.iv"
(read0=$(stat -c %X "$s/ra.tga")
 for _ in $(seq 3000); do [ "$(stat -c %X "$s/ra.tga")" = "$read0" ] || break; sleep 0.02; done
 ln -sfn fifo "$s/a.tga"; ln -sfn /dev/zero "$s/b.tga") &
run_scene swap "$WORK/swap"
for t in a b; do
  check "swapped texture $t.tga is refused, not read" \
    grep -q "^aircraft: texture models/$t.tga left out: not a regular file" "$WORK/swap.err"
done

run_scene good "$WORK/good"
run_scene bad "$WORK/bad"
check "bad models: the good aircraft looks as it does alone" \
  [ "$(differing_pixels "$WORK/good.png" "$WORK/bad.png")" = 0 ]
check "one line on stderr per bad model ($(wc -l <"$WORK/bad.err") lines)" \
  [ "$(wc -l <"$WORK/bad.err")" -eq "${#bad[@]}" ]
for name in "${bad[@]}"; do
  check "$name is reported once" [ "$(grep -c "model $name left out" "$WORK/bad.err")" -eq 1 ]
done
check "the endless binary read is cut short" grep -q "count.iv left out: reading it does not end" "$WORK/bad.err"
run_scene slow "$WORK/slow"
check "three spellings of one endless model: one line" \
  [ "$(grep -c 'zero.iv left out: reading it does not end' "$WORK/slow.err")" -eq 1 ]
check "once the reading time is spent, each later model says so" \
  [ "$(grep -c 'wait[123].iv left out: no time is left to read it' "$WORK/slow.err")" -eq 3 ]
finish
