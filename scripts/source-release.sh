#!/usr/bin/env bash
# Writes the source release flightscene-<version>.tar.gz at the top of the
# checkout from the committed tree (HEAD; uncommitted changes are not in it).
# With --check it then unpacks the archive elsewhere, builds it and runs the
# unit tests there, offline, as the README tells a user to.
#   bash scripts/source-release.sh [--check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
  "" | --check) ;;
  *) echo "usage: source-release.sh [--check]" >&2; exit 2 ;;
esac
version=$(git -C "$root" show HEAD:CMakeLists.txt |
  sed -n 's/^project(flightscene VERSION \([0-9.]*\).*/\1/p')
name=flightscene-$version
# git archive stamps every file with the commit's time: the same commit gives
# the same archive.
git -C "$root" archive --format=tar.gz --prefix="$name/" -o "$root/$name.tar.gz" HEAD
echo "source release: $root/$name.tar.gz"
[ "${1:-}" = --check ] || exit 0

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tar -xzf "$root/$name.tar.gz" -C "$tmp"
cd "$tmp/$name"
test ! -e .git
cmake --preset release -DFLIGHTSCENE_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
ctest --test-dir build -L unit -j"$(nproc)" --output-on-failure | tail -3
