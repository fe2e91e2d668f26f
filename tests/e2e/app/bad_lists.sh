#!/usr/bin/env bash
# An unusable list file: its message on stdout without a line break, status 1,
# and no window is ever shown.
source "$(dirname "$0")/../../support/e2e.sh" "$@"

expect_message() {  # expect_message NAME EXPECTED [LISTTEXT]
  local name=$1 expected=$2
  shift 2
  make_rundir "$WORK/$name" "$@"
  (cd "$WORK/$name" && timeout 60 "$FS_BIN" >"$WORK/$name.out" 2>"$WORK/$name.err")
  local status=$?
  check "$name: exit status 1 (got $status)" [ "$status" -eq 1 ]
  check "$name: exact message" [ "$(cat "$WORK/$name.out"; echo x)" = "${expected}x" ]
}

expect_message missing "Cann't open PlaneList file! Exiting..."
expect_message empty "PlaneList file empty! Exiting..." ""
expect_message malformed "PlaneList file not in right format! Exiting..." $'models/cub.iv 1 abc 0\n'
finish
