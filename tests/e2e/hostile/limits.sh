#!/usr/bin/env bash
# Limits the GL driver does not survive: too little address space, too few
# processes for its threads, a full disk under its shader cache. The program
# ends with one line and status 1 before the driver meets the lack, or flies
# without the cache; never a signal or a hang.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"
chmod 755 "$WORK"

ends_with_line() {  # ends_with_line NAME MESSAGE COMMAND...
  local name=$1 message=$2
  shift 2
  (cd "$WORK/run" && timeout 120 "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
   echo $? >"$WORK/$name.status")
  check "$name: status 1 (got $(cat "$WORK/$name.status"))" [ "$(cat "$WORK/$name.status")" = 1 ]
  check "$name: one line on stderr" [ "$(wc -l <"$WORK/$name.err")" -eq 1 ]
  check "$name: it says why" grep -qF "flightscene: $message" "$WORK/$name.err"
}

# AddressSanitizer cannot start under an address-space limit.
if ldd "$FS_BIN" | grep -q libasan; then
  echo "skip: the address-space limit under AddressSanitizer"
else
  ends_with_line address "too little address space to draw the scene (ulimit -v 524288 KiB" \
    bash -c 'ulimit -v 524288 && exec "$0"' "$FS_BIN"
fi

# Root is not held to the process limit: run as nobody. LeakSanitizer needs
# a thread of its own at exit, so a sanitizer build leaves it out here.
other=()
[ "$(id -u)" -eq 0 ] && other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if "${other[@]+"${other[@]}"}" test -x "$FS_BIN" 2>/dev/null; then
  for n in 1 2; do
    ends_with_line "processes$n" "cannot start the threads the OpenGL driver needs" \
      env ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "${other[@]+"${other[@]}"}" \
      bash -c "ulimit -u $n && exec \"\$0\"" "$FS_BIN"
  done
else
  echo "skip: no other user can run $FS_BIN"
fi

cache="$WORK/cache"
mkdir "$cache"
if mount -t tmpfs -o size=1m tmpfs "$cache" 2>/dev/null; then
  head -c 2M /dev/zero >"$cache/fill" 2>/dev/null
  run_scene full-cache "$WORK/run" env -u MESA_SHADER_CACHE_DISABLE XDG_CACHE_HOME="$cache"
  umount "$cache"
else
  echo "no tmpfs can be mounted: a read-only cache folder instead of a full one"
  chmod 555 "$cache"
  run_scene read-only-cache "$WORK/run" "${AS_USER[@]}" env -u MESA_SHADER_CACHE_DISABLE \
    XDG_CACHE_HOME="$cache"
fi
finish
