#!/usr/bin/env bash
# Builds flightscene with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the unit, render and end-to-end tests there. Any
# sanitizer report ends the test that triggered it with a failure.
# Extra arguments go to ctest (e.g. -L unit, -R hostile).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
# The sanitize preset builds RelWithDebInfo: optimised enough that the cloud
# fill and the soak keep a usable pace, with line numbers in the reports.
(cd "$root" && cmake --preset sanitize -DFLIGHTSCENE_WERROR="$werror" >/dev/null)
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
# Keep Mesa's driver loaded until the leak check, so its suppression can
# match by module name (see tests/lsan.supp). Preloading puts it ahead of the
# ASan runtime in the library list, which is harmless here: it is only a
# source of allocations, and malloc is still intercepted.
dri=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -1 || true)
if [ -n "$dri" ]; then
  export LD_PRELOAD="$dri${LD_PRELOAD:+:$LD_PRELOAD}"
  ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
fi
# A short soak here; the plain build runs the full one and checks its
# memory growth, which ASan's quarantine would mask.
export FS_SOAK_SECONDS="${FS_SOAK_SECONDS:-30}"
export FS_SOAK_RSS=off
cd "$build"
bash "$root/scripts/ctest-retry.sh" -j2 --timeout 900 "$@"
