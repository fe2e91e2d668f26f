#!/usr/bin/env bash
# Cross-builds flightscene for 64-bit Windows with MinGW-w64 in build-win/.
# Coin, GLFW and libpng are built from Debian's own source packages, once,
# into a cache outside the checkout keyed by their versions and build
# options; later runs reuse it.
#   bash scripts/windows.sh          # dependencies, build, zip and installer
#   bash scripts/windows.sh --deps   # only the dependencies
#   bash scripts/windows.sh --test   # and the tests under Wine
# FLIGHTSCENE_WIN_CACHE moves the cache (default ~/.cache/flightscene/win64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
case "$mode" in
  "" | --deps | --test) ;;
  *) echo "usage: windows.sh [--deps | --test]" >&2; exit 2 ;;
esac
cache=${FLIGHTSCENE_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/flightscene/win64}
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
log() { echo "windows: $*"; }

bash "$root/scripts/install-deps.sh" --windows
mkdir -p "$cache"

# --- Debian's source packages, fetched without touching the system's apt ---

# The machine's enabled apt entries, as deb-src, in a private folder: no
# archive is named here, the machine's own are used.
private_sources() {  # private_sources DIR
  local dir=$1 f
  rm -rf "$dir/sources.list.d"
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial"
  : >"$dir/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >>"$dir/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822: one paragraph per entry; those of type deb and not disabled.
    awk 'BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; enabled = 1; body = ""
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^#/) continue
          if (tolower(line) ~ /^types:/) { types = " " substr(line, 7) " "; continue }
          if (tolower(line) ~ /^enabled:[ \t]*no/) enabled = 0
          body = body line "\n"
        }
        if (enabled && types ~ /[ \t]deb[ \t]/) printf "Types: deb-src\n%s\n", body
      }' "$f" >"$dir/sources.list.d/$(basename "$f")"
  done
}

apt_options() {
  local dir="$cache/apt"
  printf '%s\n' -o "Dir::Etc::sourcelist=$dir/sources.list" -o "Dir::Etc::sourceparts=$dir/sources.list.d" \
    -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -q
  # As root apt downloads as its own user, who may not reach the cache.
  [ "$(id -u)" -ne 0 ] || printf '%s\n' -o APT::Sandbox::User=root
}
apt_private() {  # apt_private apt-get|apt-cache ARGS...
  local tool=$1 opts
  shift
  mapfile -t opts < <(apt_options)
  "$tool" "${opts[@]}" "$@"
}

apt_refreshed=""
# The source versions the machine's archives offer, newest first. The newest
# that downloads is built: a new Debian revision (a security fix, say) gives
# a new cache key.
source_versions() {  # source_versions PACKAGE
  if [ -z "$apt_refreshed" ]; then
    private_sources "$cache/apt"
    # Offline, or an entry without sources (a third-party archive): the lists
    # of the last run, if any, still name the versions.
    apt_private apt-get update >"$cache/apt/update.log" 2>&1 ||
      log "apt-get update failed, using the last source lists (see $cache/apt/update.log)" >&2
    apt_refreshed=1
  fi
  local versions=() v i j t
  mapfile -t versions < <(apt_private apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u)
  for ((i = 0; i < ${#versions[@]}; i++)); do
    for ((j = i + 1; j < ${#versions[@]}; j++)); do
      if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
        t=${versions[i]} versions[i]=${versions[j]} versions[j]=$t
      fi
    done
  done
  for v in "${versions[@]}"; do echo "$v"; done
}

fetch_source() {  # fetch_source PACKAGE VERSION: prints the unpacked folder
  local pkg=$1 version=$2 dir="$cache/src/${1}_$2"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" "$dir.tmp"
    mkdir -p "$dir.tmp"
    if ! (cd "$dir.tmp" && apt_private apt-get source "$pkg=$version") >"$dir.log" 2>&1; then
      rm -rf "$dir.tmp"
      return 1
    fi
    mv "$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d)" "$dir"
    rm -rf "$dir.tmp" "$dir.log"
    touch "$dir/.unpacked"
  fi
  echo "$dir"
}

# --- The dependencies, cross-built once ------------------------------------

deps=()
# build_dep NAME PACKAGE PATCH CMAKE_OPTIONS...: the install prefix of the
# Debian source package PACKAGE (or of the installed package PACKAGE's
# folder /usr/src/NAME) built with our toolchain, from the cache when it
# holds the same version built the same way (toolchain, compiler, patch and
# options), else fetched, patched (PATCH runs in the source folder) and
# built now.
build_dep() {
  local name=$1 pkg=$2 patch=$3
  shift 3
  local key v src prefix build logfile start versions
  # Paths inside the cache are left out of the key, so it can move.
  key=$({
    cat "$toolchain"
    "$FS_MINGW_CXX" --version | head -1
    echo "$patch"
    printf '%s\n' "${@//"$cache"/CACHE}"
  } | sha256sum | cut -c1-12)
  if [ -d "/usr/src/$name" ]; then
    versions=$(dpkg-query -W -f '${Version}' "$pkg")
  else
    versions=$(source_versions "$pkg")
  fi
  for v in $versions; do
    prefix="$cache/$name-$v-$key"
    if [ -f "$prefix/.complete" ]; then
      log "$name $v: cached in $prefix"
      deps+=("$prefix")
      return
    fi
    if [ -d "/usr/src/$name" ]; then
      src="/usr/src/$name"
    elif ! src=$(fetch_source "$pkg" "$v"); then
      log "$pkg $v: its source does not download, trying an older version"
      continue
    fi
    [ -z "$patch" ] || (cd "$src" && eval "$patch")
    build="$cache/build/$name-$v-$key"
    logfile="$cache/$name-$v-$key.log"
    rm -rf "$prefix" "$build"
    log "$name $v: building (log: $logfile)"
    start=$SECONDS
    if ! {
      cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@" &&
        nice -n 10 cmake --build "$build" -j"$jobs" &&
        cmake --install "$build" --strip
    } >"$logfile" 2>&1; then
      tail -40 "$logfile"
      log "$name $v: build failed; the whole log is $logfile"
      exit 1
    fi
    rm -rf "$build"
    # Its licence, shipped with the programs.
    [ ! -f "$src/debian/copyright" ] || install -D -m 644 "$src/debian/copyright" "$prefix/share/doc/$name/copyright"
    touch "$prefix/.complete"
    log "$name $v: built in $((SECONDS - start)) s"
    deps+=("$prefix")
    return
  done
  log "$pkg: no source version could be downloaded"
  exit 1
}

FS_MINGW_CXX=x86_64-w64-mingw32-g++-posix
# Debian builds these libraries with -O2; so do we, without debug symbols.
release_flags=(-DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG")

# Coin's headers use a few Boost headers. A folder holding only a link to
# them: adding the system include folder itself would let Linux headers
# shadow MinGW's.
boost="$cache/boost-$(dpkg-query -W -f '${Version}' libboost-dev)"
mkdir -p "$boost"
ln -sfn /usr/include/boost "$boost/boost"

# Two fixes: the run-time check for # quoting cannot run when cross-compiling
# (and CMake 3.25 crashes on it), and MinGW's header is winsock2.h, in a
# case-sensitive file system.
build_dep coin coin3 "sed -i 's/WinSock2\\.h/winsock2.h/' CMakeLists.txt" \
  "${release_flags[@]}" -DCOIN_BUILD_TESTS=OFF -DCOIN_BUILD_DOCUMENTATION=OFF \
  -DHAVE_HASH_QUOTING=1 -DBoost_INCLUDE_DIR="$boost"
build_dep glfw glfw3 "" "${release_flags[@]}" -DBUILD_SHARED_LIBS=OFF \
  -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
build_dep png libpng1.6 "" "${release_flags[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
# The unit tests' framework, from the sources Debian ships.
build_dep googletest googletest "" "${release_flags[@]}" -DBUILD_GMOCK=OFF
[ "$mode" != --deps ] || exit 0

# --- Our build ----------------------------------------------------------------

export FLIGHTSCENE_WINEPREFIX=${FLIGHTSCENE_WINEPREFIX:-$cache/wine}
# The build runs test programs (to list their tests) and the sky generator
# (to paint the icon) under Wine: its prefix is made first, once.
if [ ! -f "$FLIGHTSCENE_WINEPREFIX/system.reg" ]; then
  start=$SECONDS
  "$root/scripts/wine.sh" wineboot --init >/dev/null 2>&1 || true
  WINEPREFIX=$FLIGHTSCENE_WINEPREFIX wineserver -w
  log "Wine prefix made in $((SECONDS - start)) s: $FLIGHTSCENE_WINEPREFIX"
fi

werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
start=$SECONDS
deps_list=$(IFS=';'; echo "${deps[*]}")
# Other dependency folders (a new version): CMake would keep finding the
# packages where it found them before, so it starts afresh.
cmake_cache="$root/build-win/CMakeCache.txt"
if [ -f "$cmake_cache" ] &&
  [ "$(sed -n 's/^FLIGHTSCENE_WIN_DEPS:[A-Z]*=//p' "$cmake_cache")" != "$deps_list" ]; then
  rm -f "$cmake_cache"
fi
(cd "$root" && cmake --preset windows -DFLIGHTSCENE_WERROR="$werror" \
  -DFLIGHTSCENE_WIN_DEPS="$deps_list" >/dev/null)
nice -n 10 cmake --build "$root/build-win" -j"$jobs"
log "build-win built in $((SECONDS - start)) s"

# --- The zip and the installer -------------------------------------------------

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build-win/CMakeCache.txt")
name=flightscene-$version-win64
stage="$root/build-win/stage"
rm -rf "$stage"
cmake --install "$root/build-win" --prefix "$stage/$name" --strip >/dev/null
# The compiler's DLLs come with their symbols (libstdc++-6.dll: 23 MB, 2 MB
# without).
x86_64-w64-mingw32-strip --strip-unneeded "$stage/$name"/*.dll
# The same bytes from the same commit: every time stamp is the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date +%s)}
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
zip="$root/$name.zip"
rm -f "$zip"
(cd "$stage" && find "$name" -type f | LC_ALL=C sort | zip -q -X "$zip" -@)

# The installer installs exactly the files of the zip and its uninstaller
# removes exactly those: both lists are made from the installed folder.
nsis="$root/build-win/nsis"
mkdir -p "$nsis"
: >"$nsis/files.nsh"
: >"$nsis/unfiles.nsh"
(cd "$stage/$name" && find . -type f | LC_ALL=C sort) | sed 's|^\./||' >"$nsis/files.txt"
windows_path() { local p=${1//\//\\}; [ "$p" = . ] && echo '$INSTDIR' || echo "\$INSTDIR\\$p"; }
last_dir=""
while IFS= read -r f; do
  if [ "$(dirname "$f")" != "$last_dir" ]; then
    last_dir=$(dirname "$f")
    echo "SetOutPath \"$(windows_path "$last_dir")\"" >>"$nsis/files.nsh"
  fi
  echo "File \"$stage/$name/$f\"" >>"$nsis/files.nsh"
  echo "Delete \"$(windows_path "$f")\"" >>"$nsis/unfiles.nsh"
done <"$nsis/files.txt"
# Folders deepest first, each removed only when empty.
(cd "$stage/$name" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | sed 's|^\./||' |
  while IFS= read -r d; do echo "RMDir \"$(windows_path "$d")\""; done >>"$nsis/unfiles.nsh"
setup="$root/flightscene-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DOUTFILE="$setup" -DFILES="$nsis/files.nsh" \
  -DUNFILES="$nsis/unfiles.nsh" -DLICENSE="$stage/$name/LICENSE.txt" \
  -DPROGRAM=flightscene.exe "$root/dist/windows/flightscene.nsi"
log "packages: $zip ($(du -k "$zip" | cut -f1) KiB), $setup ($(du -k "$setup" | cut -f1) KiB)"
[ "$mode" = --test ] || exit 0

# --- Tests under Wine ---------------------------------------------------------

# Flights recorded on one platform are replayed on the other: the Linux
# programs are built in build/ (nothing to do when the Linux stage has).
start=$SECONDS
(cd "$root" && { [ -f build/CMakeCache.txt ] || cmake --preset release >/dev/null; } &&
  nice -n 10 cmake --build build -j"$jobs" --target flightscene flightscene-snapshot >/dev/null)
log "the Linux programs for the replays ready in $((SECONDS - start)) s"
cmake "$root/build-win" -DFLIGHTSCENE_LINUX_BUILD="$root/build" >/dev/null

cd "$root/build-win"
# One display for every test: Wine's programs in one prefix share one
# desktop, which does not survive a test's own private display closing.
start=$SECONDS
"$root/scripts/with-display.sh" bash -c '
  bash "$1/scripts/ctest-retry.sh" -j2 && bash "$1/tests/e2e/windows/installer.sh" "$2" "$3"' \
  _ "$root" "$setup" "$nsis/files.txt"
log "tests under Wine passed in $((SECONDS - start)) s"
