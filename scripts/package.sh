#!/usr/bin/env bash
# Builds the Debian package flightscene_<version>_amd64.deb at the top of the
# checkout (Release, prefix /usr, in build-pkg/) and checks what it ships:
# the files, the dependencies, the desktop entry, the AppStream metainfo,
# Debian's checker, and that a second build elsewhere gives the same bytes.
# Install it with: sudo apt-get install ./flightscene_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --package
# Every time stamp in the package is the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date +%s)}
package() {  # package BUILDDIR: configures, builds and prints the .deb's path
  (cd "$root" && cmake --preset package -B "$1" >/dev/null)
  cmake --build "$1" -j"$(nproc)" >&2
  (cd "$1" && cpack -G DEB >/dev/null)
  ls -t "$1"/flightscene_*.deb | head -1
}
deb=$(package "$root/build-pkg")
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
for f in usr/games/flightscene usr/games/flightscene-snapshot usr/games/flightscene-skygen \
    usr/share/games/flightscene/PlaneList.txt usr/share/games/flightscene/img/side.tga \
    usr/share/games/flightscene/img/above.tga usr/share/games/flightscene/img/floor.tga \
    usr/share/applications/org.flightscene.FlightScene.desktop \
    usr/share/metainfo/org.flightscene.FlightScene.metainfo.xml \
    usr/share/icons/hicolor/256x256/apps/flightscene.png \
    usr/share/icons/hicolor/16x16/apps/flightscene.png usr/share/man/man6/flightscene.6.gz \
    usr/share/man/man6/flightscene-snapshot.6.gz usr/share/man/man6/flightscene-skygen.6.gz \
    usr/share/doc/flightscene/copyright usr/share/doc/flightscene/changelog.Debian.gz \
    usr/share/lintian/overrides/flightscene; do
  check "ships /$f" test -s "$tmp/$f"
done
check "nothing in /usr/bin" test ! -e "$tmp/usr/bin"
check "ships the models the list names" bash -c 'cd "$1/usr/share/games/flightscene" &&
  for m in $(awk "{print \$1}" PlaneList.txt); do test -s "$m" || exit 1; done' _ "$tmp"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libcoin80c libglfw3 libpng16-16 libc6 libfreetype6 libfontconfig1 fonts-dejavu-core; do
  check "depends on $lib" grep -q "\b$lib\b" <<<"$depends"
done
version=$(sed -n 's/^project(flightscene VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
for p in flightscene flightscene-snapshot flightscene-skygen; do
  check "$p --version says $version" \
    bash -c '"$1/usr/games/$2" --version | grep -qx "$2 $3"' _ "$tmp" "$p" "$version"
done
check "copyright is machine-readable BSD-3-Clause" \
  grep -q '^License: BSD-3-Clause' "$tmp/usr/share/doc/flightscene/copyright"
check "changelog names $version" \
  bash -c 'zcat "$1" | head -1 | grep -q "^flightscene ($2-"' _ "$tmp/usr/share/doc/flightscene/changelog.Debian.gz" "$version"
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
for page in "$tmp"/usr/share/man/man6/*.6.gz; do
  check "$(basename "$page") formats without warnings" \
    bash -c '! zcat "$1" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null | grep .' _ "$page"
done
if command -v lintian >/dev/null; then
  # Root is how CI runs; lintian's note about it is no finding. Each
  # override in dist/lintian-overrides says why on the line above it.
  check "every lintian override has its reason" \
    awk '/^flightscene:/ && prev !~ /^# ./ {bad = 1} {prev = $0} END {exit bad}' \
    "$root/dist/lintian-overrides"
  check "lintian finds no error or warning" \
    bash -c 'lintian --fail-on error,warning "$1" 2>&1 | grep -v "^running with root privileges" ; exit "${PIPESTATUS[0]}"' _ "$deb"
else
  echo "skip: lintian not installed"
fi
# A second build in another folder: no path or time of the build may leak.
again=$(package "$root/build-pkg-again")
first_sum=$(sha256sum <"$deb" | cut -d' ' -f1)
again_sum=$(sha256sum <"$again" | cut -d' ' -f1)
echo "sha256: $first_sum (build-pkg), $again_sum (build-pkg-again)"
check "two builds give identical packages" [ "$first_sum" = "$again_sum" ]
if [ "$failures" -ne 0 ]; then
  echo "package: $failures check(s) failed"
  exit 1
fi
echo "package: $deb"
