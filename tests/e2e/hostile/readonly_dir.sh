#!/usr/bin/env bash
# A working directory the program may not write to: it runs as usual, and
# the directory is exactly as it was afterwards (it writes nothing anyway).
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/ro" "$(cat "$FS_DATA/PlaneList.txt")"
listing() { (cd "$WORK/ro" && find . -printf '%p %s %T@ %m\n' | sort); }
before=$(listing)
chmod 555 "$WORK/ro"
run_scene ro "$WORK/ro" "${AS_USER[@]}"
chmod 755 "$WORK/ro"
check "the directory is unchanged" [ "$(listing)" = "$before" ]
check "nothing on stderr" [ ! -s "$WORK/ro.err" ]
finish
