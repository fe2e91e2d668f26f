# Helpers for end-to-end tests of the real flightscene executable.
# Usage: source lib.sh FLIGHTSCENE XCLOSE DATADIR
set -u
FS_BIN=$1
FS_XCLOSE=$2
FS_DATA=$3
WORK=$(mktemp -d)
APP_PID=""
failures=0

cleanup() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then kill -9 "$APP_PID" 2>/dev/null; fi
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

# A run directory with the real images and models and the given list text.
make_rundir() {  # make_rundir DIR [LISTTEXT]
  mkdir -p "$1"
  ln -s "$FS_DATA/img" "$1/img"
  ln -s "$FS_DATA/models" "$1/models"
  if [ $# -ge 2 ]; then printf '%s' "$2" >"$1/PlaneList.txt"; fi
}

start_app() {  # start_app RUNDIR [OPTION...]
  local dir=$1
  shift
  (cd "$dir" && exec "$FS_BIN" "$@" >"$WORK/stdout" 2>"$WORK/stderr") &
  APP_PID=$!
}

wait_window() {  # wait_window [SECONDS]: prints the window id once the titled window is mapped
  local id=""
  for _ in $(seq $((${1:-30} * 10))); do
    id=$(xdotool search --onlyvisible --name '^appTitle$' 2>/dev/null | head -1)
    [ -n "$id" ] && break
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "$id"
}

focus() {  # focus WINDOW: keys go to the window under focus
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  xdotool mousemove --window "$1" 20 20
}

wait_exit() {  # wait_exit SECONDS: sets EXIT_STATUS to the status, or "running"
  EXIT_STATUS=running
  for _ in $(seq $(($1 * 10))); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      EXIT_STATUS=$?
      APP_PID=""
      return
    fi
    sleep 0.1
  done
}

shot() {  # shot WINDOW FILE
  import -window "$1" "$2"
}

differing_pixels() {  # differing_pixels A B: pixels that differ by more than 2%
  compare -metric AE -fuzz 2% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# A key stroke long enough for the animation tick to sample it: a press and
# release that both fall between two ticks are, by design, never seen.
stroke() {  # stroke KEY
  xdotool keydown "$1"
  sleep 0.15
  xdotool keyup "$1"
  sleep 0.1
}
