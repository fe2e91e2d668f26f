#!/usr/bin/env bash
# Starts flightscene on the current display, lets it run, saves a screenshot
# of its window and ends it with Escape.  Usage: headless-shot.sh BIN DATADIR OUT.png
set -euo pipefail
bin=$1 data=$2 out=$3
(cd "$data" && exec "$bin") &
pid=$!
wid=""
for _ in $(seq 300); do
  wid=$(xdotool search --onlyvisible --name '^appTitle$' 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || true
    echo "headless-shot: flightscene ended before its window showed" >&2
    exit 1
  fi
  sleep 0.1
done
[ -n "$wid" ] || { echo "headless-shot: no window" >&2; kill "$pid"; exit 1; }
sleep 4
import -window "$wid" "$out"
xdotool windowfocus "$wid" 2>/dev/null || true
xdotool mousemove --window "$wid" 20 20 key Escape
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
