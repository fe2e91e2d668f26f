#!/usr/bin/env bash
# Installs every Debian 12 package flightscene needs to build, run and test.
# Idempotent: apt-get skips what is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ninja-build
  libcoin-dev libsimage-dev libglfw3-dev libgl-dev libpng-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick x11-utils libx11-dev
  clang libclang-rt-14-dev
)

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
