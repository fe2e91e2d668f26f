#!/usr/bin/env bash
# The snapshot tool's checks, run by CTest on a display:
#   moment TOOL COMPARE REFERENCE OUTDIR NAME OPTIONS...  render, compare with reference
#   same   TOOL COMPARE OUTDIR OPTIONS...                 two runs give the same pixels
#   cli    TOOL OUTDIR PAGE                               command-line behaviour
set -u
# A cross-built program runs under its emulator (FS_EMULATOR: scripts/wine.sh).
exe() { ${FS_EMULATOR:+"$FS_EMULATOR"} "$@"; }
mode=$1
shift

case "$mode" in
moment)
  tool=$1 compare=$2 reference=$3 outdir=$4 name=$5
  shift 5
  actual="$outdir/$name-actual.png" diff="$outdir/$name-diff.png"
  rm -f "$actual" "$diff"
  exe "$tool" --out "$actual" "$@" || { echo "FAIL: flightscene-snapshot $* ended with $?"; exit 1; }
  if exe "$compare" "$reference" "$actual" "$diff"; then
    rm -f "$actual"
    exit 0
  fi
  echo "FAIL: $name differs from $reference"
  echo "  actual image:     $actual"
  [ -f "$diff" ] && echo "  difference image: $diff (red: differing pixels)"
  echo "  if the change is meant, regenerate the references: bash scripts/snapshots.sh"
  exit 1
  ;;
same)
  tool=$1 compare=$2 outdir=$3
  shift 3
  a="$outdir/same-1.png" b="$outdir/same-2.png"
  rm -f "$a" "$b" "$outdir/same-diff.png"
  exe "$tool" --out "$a" "$@" && exe "$tool" --out "$b" "$@" || { echo "FAIL: a run ended with an error"; exit 1; }
  exe "$compare" --tolerance 0 --fraction 0 "$a" "$b" "$outdir/same-diff.png" ||
    { echo "FAIL: two runs with the same options differ: $a $b"; exit 1; }
  exit 0
  ;;
cli)
  tool=$1 outdir=$2 page=$3
  failures=0 passed=0
  check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else echo "FAIL: $what"; failures=$((failures + 1)); fi
  }
  run() {  # run ARGS...: sets rc, out, err
    exe "$tool" "$@" >"$outdir/cli.out" 2>"$outdir/cli.err"
    rc=$?
    out=$(cat "$outdir/cli.out")
    err=$(cat "$outdir/cli.err")
  }
  mkdir -p "$outdir/cli"
  rm -f "$outdir"/cli/*

  run --help
  check "--help exits 0" test "$rc" -eq 0
  # The usage is made from the option table; the manual page by hand.
  help_options=$(sed -n 's/^  \(--[a-z-]*\).*/\1/p' "$outdir/cli.out" | sort -u)
  page_options=$(sed -n '/^\.TP/{n;p}' "$page" | grep -o '\\-\\-[a-z][a-z\\-]*' | sed 's/\\-/-/g' | sort -u)
  check "the manual page has exactly the options of --help: $(echo $help_options)" \
    test -n "$help_options" -a "$help_options" = "$page_options"

  # One of each kind; the parser's own tests go through every rule.
  for bad in "--bogus" "--ticks 12abc" "--hold Escape:1-5" "--ticks 10 --tab 10" "--cloud-quality kept" "stray"; do
    # shellcheck disable=SC2086
    run $bad --out "$outdir/cli/bad.png"
    check "'$bad' exits 2 (got $rc)" test "$rc" -eq 2
    check "'$bad' prints the usage on stderr" grep -q "^Usage: flightscene-snapshot" "$outdir/cli.err"
    check "'$bad' writes nothing to stdout" test -z "$out"
  done
  check "no image was written for bad options" test ! -e "$outdir/cli/bad.png"

  run --size 32x24 --out /nonexistent-dir/x.png
  check "an output in a missing directory fails (got $rc)" test "$rc" -ne 0 -a "$rc" -ne 2
  # Windows names it with backslashes.
  check "... and names the path" grep -q "nonexistent-dir.x\.png" "$outdir/cli.err"
  run --size 32x24 --out "$outdir/cli"
  check "an output that is a directory fails (got $rc)" test "$rc" -ne 0 -a "$rc" -ne 2
  run --size 32x24 --data /nonexistent-dir --out "$outdir/cli/x.png"
  check "a missing data directory fails (got $rc)" test "$rc" -eq 1
  check "... and says so" grep -q "data directory" "$outdir/cli.err"

  run --size 64x48 --out "$outdir/cli/one.png"
  check "a plain run exits 0 (got $rc: $err)" test "$rc" -eq 0
  check "a plain run writes a 64x48 PNG" test "$(identify -format %m:%wx%h "$outdir/cli/one.png" 2>/dev/null)" = "PNG:64x48"

  # A relative --out is taken from where the tool was started, not the data directory.
  (cd "$outdir/cli" && exe "$tool" --size 16x12 --out rel.png >/dev/null 2>&1)
  check "a relative --out lands in the starting directory" test -f "$outdir/cli/rel.png"

  run --size 32x24 --ticks 9 --dt 1 --hold W:1-9 --frames 3 --out "$outdir/cli/anim.png"
  check "--frames 3 exits 0" test "$rc" -eq 0
  check "--frames 3 writes anim-0001..0003.png and nothing else" bash -c '
    cd "$1" && [ "$(ls anim*)" = "$(printf "anim-0001.png\nanim-0002.png\nanim-0003.png")" ]' _ "$outdir/cli"
  run --size 32x24 --ticks 3 --frames 10 --out "$outdir/cli/every"
  check "--frames above --ticks writes one frame per tick" bash -c '
    cd "$1" && [ "$(ls every*)" = "$(printf "every-0001.png\nevery-0002.png\nevery-0003.png")" ]' _ "$outdir/cli"

  # A moving flight: the frames of a flight with W held must not all be equal.
  check "frames of a moving flight differ" bash -c '! cmp -s "$1/anim-0001.png" "$1/anim-0003.png"' _ "$outdir/cli"

  echo "$passed passed, $failures failed"
  [ "$failures" -eq 0 ]
  ;;
*)
  echo "snapshot_checks: unknown mode $mode" >&2
  exit 2
  ;;
esac
