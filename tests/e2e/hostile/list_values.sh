#!/usr/bin/env bash
# List values the flight cannot carry and number tokens of any length:
# a size or scale too large for single precision is a format error; a
# 300 MB number reads in bounded memory to the same message.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
format="PlaneList file not in right format! Exiting..."

expect_format() {  # expect_format NAME [WRAPPER...]
  local name=$1 status=0
  shift
  (cd "$WORK/$name" && timeout 300 "$@" "$FS_BIN" >"$WORK/$name.out" 2>"$WORK/$name.err") || status=$?
  check "$name: exit status 1 (got $status)" [ "$status" -eq 1 ]
  check "$name: the format message" [ "$(cat "$WORK/$name.out"; echo x)" = "${format}x" ]
}

make_rundir "$WORK/size" 'models/cub.iv 1e19 0.25 0'
expect_format size
make_rundir "$WORK/scale" 'models/cub.iv 1 3e38 0'
expect_format scale
make_rundir "$WORK/token"
{ printf 'models/cub.iv 1'; head -c 300000000 /dev/zero | tr '\0' '0'; printf ' 0.25 0\n'; } >"$WORK/token/PlaneList.txt"
# Far less heap than the token: only a bounded reader gets to the message.
# AddressSanitizer cannot start under such a limit; there the token is only
# read to the message.
if ldd "$FS_BIN" | grep -q libasan; then
  expect_format token
else
  expect_format token prlimit --data=$((128 << 20))
fi
rm -f "$WORK/token/PlaneList.txt"

make_rundir "$WORK/large" 'models/cub.iv 1e6 1e6 0'
run_scene large "$WORK/large"
finish
