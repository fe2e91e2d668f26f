#!/usr/bin/env bash
# Builds the Debian package flightscene_<version>_amd64.deb at the top of the
# checkout (Release, prefix /usr, in build-pkg/) and checks what it ships:
# the files, the dependencies, the desktop entry and the AppStream metainfo.
# Install it with: sudo apt-get install ./flightscene_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-pkg"
(cd "$root" && cmake --preset package >/dev/null)
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/flightscene_*.deb | head -1)
cp "$deb" "$root/"
deb="$root/$(basename "$deb")"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
for f in usr/bin/flightscene usr/bin/flightscene-snapshot usr/bin/flightscene-skygen \
    usr/share/flightscene/PlaneList.txt usr/share/flightscene/img/side.tga \
    usr/share/flightscene/img/above.tga usr/share/flightscene/img/floor.tga \
    usr/share/applications/org.flightscene.FlightScene.desktop \
    usr/share/metainfo/org.flightscene.FlightScene.metainfo.xml \
    usr/share/icons/hicolor/256x256/apps/flightscene.png \
    usr/share/icons/hicolor/16x16/apps/flightscene.png usr/share/man/man6/flightscene.6.gz; do
  check "ships /$f" test -s "$tmp/$f"
done
check "ships the models the list names" bash -c 'cd "$1/usr/share/flightscene" &&
  for m in $(awk "{print \$1}" PlaneList.txt); do test -s "$m" || exit 1; done' _ "$tmp"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libcoin80c libglfw3 libc6 libsimage20; do
  check "depends on $lib" grep -q "\b$lib\b" <<<"$depends"
done
check "the installed program answers --version" \
  bash -c '"$1/usr/bin/flightscene" --version | grep -qx "flightscene [0-9.]*"' _ "$tmp"
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry is valid" desktop-file-validate "$tmp/usr/share/applications/org.flightscene.FlightScene.desktop"
else
  echo "skip: desktop-file-validate not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  check "metainfo is valid" appstreamcli validate --no-net \
    "$tmp/usr/share/metainfo/org.flightscene.FlightScene.metainfo.xml"
else
  echo "skip: appstreamcli not installed (appstream)"
fi
check "manual page formats without warnings" \
  bash -c '! zcat "$1" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null | grep .' _ \
  "$tmp/usr/share/man/man6/flightscene.6.gz"
if [ "$failures" -ne 0 ]; then
  echo "package: $failures check(s) failed"
  exit 1
fi
echo "package: $deb"
