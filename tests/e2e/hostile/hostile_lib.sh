# Shared steps of the hostile-input tests, on top of the app helpers.
# Usage: source hostile_lib.sh FLIGHTSCENE XCLOSE DATADIR
source "$(dirname "${BASH_SOURCE[0]}")/../app/lib.sh" "$@"

# A command prefix that makes the permission bits count: root ignores them,
# but not without the override capabilities.
AS_USER=(env)
if [ "$(id -u)" -eq 0 ]; then
  AS_USER=(setpriv --bounding-set=-dac_override,-dac_read_search)
fi

# start_in DIR NAME [WRAPPER...]: starts the program in DIR; its output goes
# to $WORK/NAME.out and $WORK/NAME.err, its exit status to $WORK/NAME.status.
# A watcher shell collects the status: `wait` inside $(...) cannot be
# trusted to see a child of the main shell. APP_PID is the program itself.
start_in() {
  local dir=$1 name=$2
  shift 2
  rm -f "$WORK/$name.pid" "$WORK/$name.status"
  (
    cd "$dir" || exit
    "$@" "$FS_BIN" >"$WORK/$name.out" 2>"$WORK/$name.err" &
    echo $! >"$WORK/$name.pid"
    wait $!
    echo $? >"$WORK/$name.status.tmp"
    mv "$WORK/$name.status.tmp" "$WORK/$name.status"
  ) &
  APP_NAME=$name
  for _ in $(seq 100); do [ -s "$WORK/$name.pid" ] && break; sleep 0.05; done
  APP_PID=$(cat "$WORK/$name.pid")
}

# Prints the exit status of the program started last, or "running".
wait_status() {  # wait_status SECONDS
  for _ in $(seq $(($1 * 10))); do
    if [ -e "$WORK/$APP_NAME.status" ]; then
      cat "$WORK/$APP_NAME.status"
      return
    fi
    sleep 0.1
  done
  echo running
}

# Screenshots until two in a row match (the scene is still while no key is
# held), so a slow first frame is never mistaken for the picture.
settled_shot() {  # settled_shot WINDOW FILE [SECONDS]
  local prev="$2.prev.png"
  shot "$1" "$prev" 2>/dev/null
  for _ in $(seq "${3:-120}"); do
    sleep 1
    shot "$1" "$2" 2>/dev/null || continue
    [ "$(differing_pixels "$prev" "$2")" = 0 ] && return 0
    cp "$2" "$prev"
  done
  return 1
}

# Holds Escape until the program ends, so a frame slower than a key stroke
# cannot swallow it; prints the exit status (or "running").
end_with_escape() {  # end_with_escape WINDOW [SECONDS]
  focus "$1" 2>/dev/null
  xdotool keydown Escape
  wait_status "${2:-120}"
  xdotool keyup Escape
}

# run_scene NAME DIR [WRAPPER...]: starts the program, checks that its window
# comes up and stays up, leaves a settled screenshot in $WORK/NAME.png and
# ends it with Escape, checking status 0 and an empty stdout.
run_scene() {
  local name=$1 dir=$2
  shift 2
  start_in "$dir" "$name" "$@"
  local wid
  # A long time-out for slow start-ups (a big fleet, a sanitizer build).
  wid=$(wait_window "${SCENE_TIMEOUT:-180}")
  check "$name: window appears" [ -n "$wid" ]
  if [ -z "$wid" ]; then
    echo "--- $name stderr:"; head -c 2000 "$WORK/$name.err"
    [ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null
    APP_PID=""
    return
  fi
  focus "$wid"
  check "$name: picture settles" settled_shot "$wid" "$WORK/$name.png" "${SCENE_TIMEOUT:-180}"
  check "$name: still running" kill -0 "$APP_PID"
  local status
  status=$(end_with_escape "$wid" "${SCENE_TIMEOUT:-180}")
  [ "$status" = running ] || APP_PID=""
  check "$name: Escape ends with status 0 (got $status)" [ "$status" = 0 ]
  check "$name: nothing on stdout" [ ! -s "$WORK/$name.out" ]
}
