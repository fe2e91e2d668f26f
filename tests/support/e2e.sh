# Helpers for the end-to-end tests of the real flightscene executable, on a
# display (scripts/with-display.sh) unless a test says otherwise.
# Usage: source e2e.sh FLIGHTSCENE XCLOSE DATADIR
set -u
FS_BIN=$1
FS_XCLOSE=$2
FS_DATA=$3
WORK=$(mktemp -d)
APP_PID=""
APP_NAME=""
STARTED=()   # the names start_in ran programs under
WATCHERS=()  # and the shells that collect their statuses
failures=0

cleanup() {
  local name
  # Only a program without a status is unreaped, so its pid is still its own.
  for name in ${STARTED[@]+"${STARTED[@]}"}; do
    [ -e "$WORK/$name.status" ] || kill -9 "$(cat "$WORK/$name.pid")" 2>/dev/null
  done
  # A watcher writes its status into $WORK: it must be done before $WORK goes.
  [ ${#WATCHERS[@]} -eq 0 ] || wait "${WATCHERS[@]}" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# A command prefix that makes the permission bits count: root ignores them,
# but not without the override capabilities.
AS_USER=(env)
if [ "$(id -u)" -eq 0 ]; then
  AS_USER=(setpriv --bounding-set=-dac_override,-dac_read_search)
fi

# A run directory with the real images and models and the given list text.
make_rundir() {  # make_rundir DIR [LISTTEXT]
  mkdir -p "$1"
  ln -s "$FS_DATA/img" "$1/img"
  ln -s "$FS_DATA/models" "$1/models"
  if [ $# -ge 2 ]; then printf '%s' "$2" >"$1/PlaneList.txt"; fi
}

# start_in DIR NAME [WRAPPER...]: starts the program in DIR, with the
# arguments in the array APP_ARGS (none when unset); its output goes
# to $WORK/NAME.out and $WORK/NAME.err, its exit status to $WORK/NAME.status.
# A watcher shell collects the status: `wait` inside $(...) cannot be
# trusted to see a child of the main shell. APP_PID is the program itself.
start_in() {
  local dir=$1 name=$2
  shift 2
  rm -f "$WORK/$name.pid" "$WORK/$name.status"
  (
    cd "$dir" || exit
    "$@" "$FS_BIN" ${APP_ARGS[@]+"${APP_ARGS[@]}"} >"$WORK/$name.out" 2>"$WORK/$name.err" &
    echo $! >"$WORK/$name.pid"
    wait $!
    echo $? >"$WORK/$name.status.tmp"
    mv "$WORK/$name.status.tmp" "$WORK/$name.status"
  ) &
  WATCHERS+=($!)
  APP_NAME=$name
  # A loaded machine can take seconds to start the watcher shell.
  for _ in $(seq 600); do [ -s "$WORK/$name.pid" ] && break; sleep 0.05; done
  APP_PID=$(cat "$WORK/$name.pid" 2>/dev/null)
  if [ -z "$APP_PID" ]; then
    echo "start_in: $name did not start within 30 s" >&2
  else
    STARTED+=("$name")
  fi
}

# start_app RUNDIR [ARGS...]: start_in under the name "app", with ARGS for
# the program, its output also as $WORK/stdout and $WORK/stderr.
start_app() {
  local dir=$1
  shift
  APP_ARGS=("$@")
  start_in "$dir" app
  APP_ARGS=()
  ln -sf app.out "$WORK/stdout"
  ln -sf app.err "$WORK/stderr"
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

wait_exit() {  # wait_exit SECONDS: sets EXIT_STATUS to the status, or "running"
  EXIT_STATUS=$(wait_status "$1")
  [ "$EXIT_STATUS" = running ] || APP_PID=""
}

wait_window() {  # wait_window [SECONDS]: prints the window id once the titled window is mapped
  local id=""
  for _ in $(seq $((${1:-30} * 10))); do
    id=$(xdotool search --onlyvisible --name '^appTitle$' 2>/dev/null | head -1)
    [ -n "$id" ] && break
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      # Said on stderr, so that a window that never came shows why.
      echo "wait_window: $APP_NAME ended before its window showed (status $(wait_status 5));" \
        "its stderr:" >&2
      head -c 2000 "$WORK/$APP_NAME.err" >&2
      break
    fi
    sleep 0.1
  done
  echo "$id"
}

focus() {  # focus WINDOW: keys go to the window under focus
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  xdotool mousemove --window "$1" 20 20
}

shot() {  # shot WINDOW FILE
  # Without a window id, import waits for a click that never comes.
  [ -n "$1" ] && import -window "$1" "$2"
}

differing_pixels() {  # differing_pixels A B: pixels that differ by more than 2%
  compare -metric AE -fuzz 2% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# A key stroke long enough for the animation tick to sample it: a press and
# release that both fall between two ticks are, by design, never seen.
stroke() {  # stroke KEY
  xdotool keydown "$1"
  sleep 0.15
  xdotool keyup "$1"
  sleep 0.1
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
