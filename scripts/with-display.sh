#!/usr/bin/env bash
# Runs a command on the current X display, or on a private Xvfb server when
# there is none. -displayfd lets the server pick a free display number, so
# parallel test runs never race for one. FS_XVFB_SCREEN sets that server's
# screen as WIDTHxHEIGHTxDEPTH (default 1280x1024x24).
set -u
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
screen=${FS_XVFB_SCREEN:-1280x1024x24}
if ! [[ "$screen" =~ ^[0-9]{1,5}x[0-9]{1,5}x[0-9]{1,2}$ ]]; then
  echo "with-display: FS_XVFB_SCREEN must be WIDTHxHEIGHTxDEPTH, not '$screen'" >&2
  exit 125
fi
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
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
# A failed command may have met a server in trouble: what it said, past the
# display numbers it found taken.
said=$(grep -v '^_XSERVTrans' "$tmp/xvfb.log" | tail -20)
if [ "$rc" -ne 0 ] && [ -n "$said" ]; then
  echo "with-display: the Xvfb of $DISPLAY logged:" >&2
  echo "$said" >&2
fi
if ! kill -0 "$xpid" 2>/dev/null; then
  echo "with-display: the Xvfb of $DISPLAY ended during the command" >&2
fi
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
rm -rf "$tmp"
exit "$rc"
