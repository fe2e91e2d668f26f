#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test
# (unit, render and end-to-end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j2
