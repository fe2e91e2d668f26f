#!/usr/bin/env bash
# The program where the machine lacks something: an OpenGL without what the
# scene needs ends it with a message and status 1, never a signal.
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

finish
