#!/usr/bin/env bash
# Configures and builds flightscene (Release) in build/. Extra arguments go to
# the build step, e.g. --target flightscene.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
cmake --preset release -DFLIGHTSCENE_WERROR="$werror" >/dev/null
cmake --build build -j"$(nproc)" "$@"
