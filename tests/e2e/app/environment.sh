#!/usr/bin/env bash
# The program where the machine lacks something: an OpenGL without what the
# scene needs ends it with a message and status 1, never a signal; without
# the image library's development files (only its runtime package) the sky
# still shows.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"

# Mesa's overrides: an OpenGL 1.1 without the 3-D texture extension.
for override in "MESA_GL_VERSION_OVERRIDE=1.1 MESA_EXTENSION_OVERRIDE=-GL_EXT_texture3D"; do
  # shellcheck disable=SC2086
  (cd "$WORK/run" && env $override timeout 60 "$FS_BIN" >"$WORK/stdout" 2>"$WORK/stderr")
  status=$?
  check "$override: status 1, no signal (got $status)" [ "$status" -eq 1 ]
  check "$override: names what is missing" grep -q "^flightscene: this OpenGL .* lacks what the scene needs: 3-D textures" "$WORK/stderr"
  # Mesa itself warns on stdout about the override.
  check "$override: nothing of ours on stdout" bash -c '! grep -v "^Warning: extension" "$1"' _ "$WORK/stdout"
done

# Hides the unversioned libsimage.so (the -dev package's link) in a private
# mount namespace, behind an overlay with a whiteout; root only.
lib=$(ldconfig -p | sed -n 's/^\tlibsimage\.so (.*=> \(.*\)$/\1/p' | head -1)
libdir=$(dirname "$(readlink -f "$lib" 2>/dev/null || echo /nonexistent/x)")
if [ -z "$lib" ] || ! unshare -m true 2>/dev/null; then
  echo "skip: sky without libsimage.so (no such file, or no mount namespace here)"
else
  mkdir -p "$WORK/whiteout"
  mknod "$WORK/whiteout/libsimage.so" c 0 0
  cat >"$WORK/hidden.sh" <<EOS
mount -t overlay overlay -o lowerdir=$WORK/whiteout:$libdir $libdir || exit 99
[ ! -e $libdir/libsimage.so ] || exit 98
cd "$WORK/run" && exec "$FS_BIN" >"$WORK/stdout" 2>"$WORK/stderr"
EOS
  unshare -m --propagation private bash "$WORK/hidden.sh" &
  APP_PID=$!
  wid=$(wait_window)
  check "without libsimage.so: the window appears" [ -n "$wid" ]
  if [ -n "$wid" ]; then
    sleep 1
    shot "$wid" "$WORK/sky.png"
    # The upper middle of the start-up view is sky: blue, not black.
    blue=$(convert "$WORK/sky.png" -crop 40%x15%+30%+5% -format '%[fx:mean.b>0.5 && mean.b>mean.r+0.15]' info:)
    check "without libsimage.so: the sky shows" [ "$blue" = 1 ]
    check "without libsimage.so: every image was read" bash -c '! grep -q "could not be read" "$1"' _ "$WORK/stderr"
    "$FS_XCLOSE" appTitle
    for _ in $(seq 200); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
    wait "$APP_PID"
    status=$?
    APP_PID=""
    check "without libsimage.so: ends with status 0 (got $status)" [ "$status" = 0 ]
  fi
fi
finish
