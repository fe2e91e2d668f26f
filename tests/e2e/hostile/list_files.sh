#!/usr/bin/env bash
# A PlaneList.txt that is not a readable regular file: a directory, a FIFO
# with no writer, a device, a file without read permission. Each is a list
# that cannot be opened: its message, status 1, and never a hang.
source "$(dirname "$0")/../../support/e2e.sh" "$@"

expect_cannot_open() {  # expect_cannot_open NAME [WRAPPER...]
  local name=$1
  shift
  local status=0
  (cd "$WORK/$name" && timeout 120 "$@" "$FS_BIN" >"$WORK/$name.out" 2>"$WORK/$name.err") || status=$?
  check "$name: exit status 1, no hang (got $status)" [ "$status" -eq 1 ]
  check "$name: the cannot-open message" \
    [ "$(cat "$WORK/$name.out"; echo x)" = "Cann't open PlaneList file! Exiting...x" ]
}

make_rundir "$WORK/directory"
mkdir "$WORK/directory/PlaneList.txt"
printf 'models/cub.iv 1 0.25 0\n' >"$WORK/directory/PlaneList.txt/PlaneList.txt"
expect_cannot_open directory

make_rundir "$WORK/fifo"
mkfifo "$WORK/fifo/PlaneList.txt"
expect_cannot_open fifo

make_rundir "$WORK/device"
ln -s /dev/zero "$WORK/device/PlaneList.txt"
expect_cannot_open device

make_rundir "$WORK/unreadable" 'models/cub.iv 1 0.25 0'
chmod 000 "$WORK/unreadable/PlaneList.txt"
expect_cannot_open unreadable "${AS_USER[@]}"
# Neither list nor images: the list's message comes before any sky line.
mkdir "$WORK/bare"
(cd "$WORK/bare" && timeout 120 "$FS_BIN" >"$WORK/bare.all" 2>&1)
check "no list: its message comes first" [ "$(head -c 4 "$WORK/bare.all")" = "Cann" ]
finish
