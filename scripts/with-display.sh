#!/usr/bin/env bash
# Runs a command on the current X display, or on a private Xvfb server when
# there is none. -displayfd lets the server pick a free display number, so
# parallel test runs never race for one.
set -u
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xpid=$!
for _ in $(seq 200); do
  [ -s "$tmp/display" ] && break
  sleep 0.05
done
if [ ! -s "$tmp/display" ]; then
  echo "with-display: Xvfb did not start:" >&2
  cat "$tmp/xvfb.log" >&2
  kill "$xpid" 2>/dev/null
  rm -rf "$tmp"
  exit 125
fi
export DISPLAY=":$(tr -d '\n' <"$tmp/display")"
"$@"
rc=$?
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
rm -rf "$tmp"
exit "$rc"
