#!/usr/bin/env bash
# Runs a Windows program under Wine in the Windows build's own Wine prefix,
# quietly: CTest's emulator for build-win/ (preset windows), and the way to
# run those programs by hand, e.g. scripts/wine.sh build-win/unit_record.exe.
# FLIGHTSCENE_WINEPREFIX moves the prefix (default: beside the dependency
# cache, ~/.cache/flightscene/win64/wine); the first run creates it.
set -u
export WINEPREFIX=${FLIGHTSCENE_WINEPREFIX:-${FLIGHTSCENE_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/flightscene/win64}/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko when the prefix is made: nothing here
# uses .NET or HTML. No debugger on a crash: the program ends at once with
# a line on stderr, where Wine's debugger can hang a test until its time-out.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
exec wine "$@"
