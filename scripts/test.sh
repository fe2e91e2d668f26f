#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test
# (unit, render and end-to-end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --test
bash "$root/scripts/build.sh"
cd "$root/build"
# A second try only for a test that failed: the end-to-end tests drive a
# real program under a software renderer on a shared machine, and a stroke or
# a memory reading can miss its moment; a real fault fails both tries. Every
# retried test is named with the outcome of its second try.
bash "$root/scripts/ctest-retry.sh" -j2
