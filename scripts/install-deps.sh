#!/usr/bin/env bash
# Installs the Debian 12 packages flightscene needs to build and run;
# with --package also those that build and check the Debian package, with
# --test those of the tests, benchmarks, sanitizer and fuzz builds as well,
# and with --windows those of the Windows cross-build (scripts/windows.sh).
# Idempotent: apt-get skips what is already there.
#   bash scripts/install-deps.sh            # build and run
#   bash scripts/install-deps.sh --package  # and package
#   bash scripts/install-deps.sh --test     # and test
#   bash scripts/install-deps.sh --windows  # and cross-build for Windows
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ninja-build
  libcoin-dev libglfw3-dev libgl-dev libpng-dev
  # stb_image's header, compiled into the program (not linked)
  libstb-dev
  # Coin loads these by name to draw the cockpit text in this font
  libfreetype6 libfontconfig1 fonts-dejavu-core
  # run.sh flies under Xvfb and takes a screenshot when there is no display
  xvfb xauth xdotool imagemagick
)
# scripts/package.sh and its checks (CPack's Debian generator needs file and
# dpkg-shlibdeps), scripts/source-release.sh
PACKAGE_PACKAGES=(dpkg-dev file desktop-file-utils appstream lintian man-db git)
TEST_PACKAGES=(
  googletest libgtest-dev libbenchmark-dev
  # bench/numeric's comparison with the correctly rounded values
  libmpfr-dev
  x11-utils libx11-dev
  clang libclang-rt-14-dev
  "${PACKAGE_PACKAGES[@]}"
)
WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine64 nsis zip
  # the sources of Coin, GLFW and libpng (apt-get source), Coin's Boost
  # headers, GoogleTest's sources for the unit tests
  dpkg-dev libboost-dev googletest
)

case "${1:-}" in
  "") ;;
  --package) PACKAGES+=("${PACKAGE_PACKAGES[@]}") ;;
  --test) PACKAGES+=("${TEST_PACKAGES[@]}") ;;
  --windows) PACKAGES+=("${WINDOWS_PACKAGES[@]}") ;;
  *) echo "usage: install-deps.sh [--package | --test | --windows]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
