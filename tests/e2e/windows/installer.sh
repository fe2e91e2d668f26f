#!/usr/bin/env bash
# The Windows installer under Wine (scripts/windows.sh --test): a silent
# install puts every file of the zip, the Start-menu entry and the entry in
# the system's list of programs in place, an installed program runs from
# another folder and shows the scene, and a silent uninstall takes every one
# of them away. On a display (scripts/with-display.sh).
# Usage: installer.sh SETUP.EXE FILES (the installed files, one a line)
set -u
root=$(cd "$(dirname "$0")/../../.." && pwd)
setup=$1
files=$2
export FLIGHTSCENE_WINEPREFIX=${FLIGHTSCENE_WINEPREFIX:?the Wine prefix of scripts/windows.sh}
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
# Wine returns before the programs a program started have ended (the
# uninstaller runs from a copy of itself): wait for all of them.
wine_wait() {
  "$root/scripts/wine.sh" "$@"
  local status=$?
  WINEPREFIX=$FLIGHTSCENE_WINEPREFIX wineserver -w
  return "$status"
}
registered() {
  "$root/scripts/wine.sh" reg query \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\flightscene' /v UninstallString 2>/dev/null |
    grep -q 'uninstall\.exe'
}
unregistered() { ! registered; }

# Where a user's silent install goes: Program Files, a name with a space.
dir="$FLIGHTSCENE_WINEPREFIX/drive_c/Program Files/flightscene"
win_dir='C:\Program Files\flightscene'
link="$FLIGHTSCENE_WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/flightscene.lnk"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# What a failed run may have left in the prefix.
rm -rf "$dir" "$link"
"$root/scripts/wine.sh" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\flightscene' \
  /f >/dev/null 2>&1

check "the installer ends with status 0" wine_wait "$setup" /S
missing=0
while IFS= read -r f; do
  [ -f "$dir/$f" ] || { echo "not installed: $f"; missing=$((missing + 1)); }
done <"$files"
check "every file of the zip is installed" [ "$missing" -eq 0 ]
check "nothing else but the uninstaller" \
  [ "$(find "$dir" -type f | wc -l)" -eq "$(($(wc -l <"$files") + 1))" -a -f "$dir/uninstall.exe" ]
check "a Start-menu entry that starts flightscene.exe" \
  bash -c 'strings -el "$1" | grep -q "flightscene\.exe"' _ "$link"
check "an entry in the system's list of programs" registered
# From another folder: the program finds its DLLs beside itself.
check "the installed sky generator writes its images elsewhere" \
  bash -c 'cd "$1" && mkdir sky && "$2/scripts/wine.sh" "$3\flightscene-skygen.exe" sky >/dev/null &&
           for f in side above floor; do test -s "sky/$f.tga" || exit 1; done' _ "$work" "$root" "$win_dir"

# The program itself, from another folder: it finds its data beside itself
# and shows the scene until Escape.
shown() {
  (cd "$work" && exec "$root/scripts/wine.sh" "$win_dir\flightscene.exe" --size 320x240) &
  local pid=$! wid="" status
  for _ in $(seq 600); do
    wid=$(xdotool search --onlyvisible --name '^appTitle$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] && sleep 3 && import -window "$wid" "$work/installed.png"
  xdotool windowfocus "$wid" 2>/dev/null
  xdotool keydown Escape
  wait "$pid"
  status=$?
  xdotool keyup Escape
  [ -n "$wid" ] && [ "$status" = 0 ] &&
    [ "$(convert "$work/installed.png" -format '%[fx:mean>0.05]' info:)" = 1 ]
}
check "the installed flightscene.exe started elsewhere shows the scene, Escape ends it" shown

check "the uninstaller ends with status 0" wine_wait "$win_dir\\uninstall.exe" /S
left=$(find "$dir" 2>/dev/null)
[ -z "$left" ] || echo "left behind: $left"
check "the uninstaller removes every file and the folder" [ -z "$left" ]
check "and the Start-menu entry" test ! -e "$link"
check "and the entry in the list of programs" unregistered
if [ "$failures" -ne 0 ]; then
  echo "installer: $failures check(s) failed"
  exit 1
fi
echo "installer: all checks passed"
