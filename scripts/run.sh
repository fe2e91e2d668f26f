#!/usr/bin/env bash
# Installs what is missing, builds and starts the flight scene in data/.
# Without a display it flies for a few seconds under Xvfb and saves a
# screenshot instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" --target flightscene
if [ -n "${DISPLAY:-}" ]; then
  cd "$root/data"
  exec "$root/build/flightscene"
fi
echo "run: no DISPLAY; running the scene under Xvfb for a few seconds"
"$root/scripts/with-display.sh" bash "$root/scripts/headless-shot.sh" "$root/build/flightscene" \
  "$root/data" "$root/flightscene.png"
echo "run: screenshot saved to $root/flightscene.png"
