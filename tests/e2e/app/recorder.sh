#!/usr/bin/env bash
# The flight recorder on the real program: a flight flown with real keys and
# recorded replays to the same aircraft states, whatever keys are pressed
# during the replay; one killed mid-flight replays what it had written; the
# snapshot tool renders a recording; bad recordings and bad targets give one
# line and status 1, never a hang.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
SNAPSHOT="$(dirname "$FS_BIN")/flightscene-snapshot"
make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"

# replay_of FILE [ARGS...]: replays FILE with the keys pressed in the
# function `during_replay`, ends it with Escape; REPLAY_STATUS, $WORK/app.err.
during_replay() { :; }
replay_of() {
  start_app "$WORK/run" --size 480x360 --replay "$@"
  local wid
  wid=$(wait_window)
  focus "$wid" 2>/dev/null
  during_replay
  for _ in $(seq 600); do grep -q '^replay: ' "$WORK/app.err" && break; sleep 0.1; done
  REPLAY_STATUS=$(end_with_escape "$wid" 60)
  [ "$REPLAY_STATUS" = running ] || APP_PID=""
}

# refused NAME PATTERN: --record NAME gives one line, status 1, before any
# window.
refused() {  # refused NAME PATTERN [WRAPPER...]
  local name=$1 pattern=$2 status=0
  shift 2
  (cd "$WORK/run" && DISPLAY=:nowhere timeout 60 "$@" "$FS_BIN" ${DATA:+--data "$DATA"} \
    --record "$WORK/$name" >"$WORK/bad.out" 2>"$WORK/bad.err") || status=$?
  check "--record $name: status 1 (got $status)" [ "$status" = 1 ]
  check "--record $name: one line, '$pattern'" \
    [ "$(wc -l <"$WORK/bad.err")" = 1 -a "$(grep -c "^flightscene: cannot record to $WORK/$name: $pattern" "$WORK/bad.err")" = 1 ]
}
# Recorded through a link: the file it names is replaced, keeping its
# permission bits, and the link stays.
echo "an older file" >"$WORK/flight.rec"
chmod 600 "$WORK/flight.rec"
ln -s flight.rec "$WORK/link.rec"
start_app "$WORK/run" --size 480x360 --record "$WORK/link.rec"
wid=$(wait_window)
check "recording: window appears" [ -n "$wid" ]
[ -n "$wid" ] || finish
focus "$wid"
xdotool keydown w
sleep 1.5
xdotool keydown Left
sleep 0.5
xdotool keyup Left
stroke Tab
xdotool keydown Up
sleep 0.5
xdotool keyup Up w
# Paused, the file holds the whole flight: what a kill would leave.
stroke p
sleep 0.5
cp "$WORK/flight.rec" "$WORK/paused.rec"
status=$(end_with_escape "$wid" 60)
[ "$status" = running ] || APP_PID=""
check "recording: Escape ends with status 0 (got $status)" [ "$status" = 0 ]
check "recording: one line says the older file is replaced" \
  [ "$(cat "$WORK/app.err")" = "flightscene: recording to $WORK/link.rec replaces the file that was there" ]
check "recording: through the link into the file it names, mode 600 kept" \
  [ -L "$WORK/link.rec" -a "$(stat -c %a "$WORK/flight.rec")" = 600 ]

# S held and Tab struck during the replay must not reach the fleet.
during_replay() {
  xdotool keydown s
  stroke Tab
  sleep 0.5
  xdotool keyup s
}
replay_of "$WORK/flight.rec"
during_replay() { :; }
line=$(cat "$WORK/app.err")
echo "replay said: $line"
check "replay: the flight matches the recording" \
  grep -Eqx 'replay: [1-9][0-9]* ticks, matches the recording' "$WORK/app.err"
check "replay: Escape after the end gives status 0 (got $REPLAY_STATUS)" [ "$REPLAY_STATUS" = 0 ]
"$SNAPSHOT" --data "$WORK/run" --size 16x12 --replay "$WORK/paused.rec" --out "$WORK/paused.png" 2>"$WORK/paused.err"
check "paused: every tick before the pause is written ($(cat "$WORK/paused.err"))" \
  grep -q "cut short after tick $(sed -n 's/^replay: \([0-9]*\) ticks.*/\1/p' "$WORK/app.err"):" "$WORK/paused.err"

"$SNAPSHOT" --data "$WORK/run" --size 160x120 --replay "$WORK/flight.rec" --frames 2 \
  --out "$WORK/frame.png" 2>"$WORK/snapshot.err"
status=$?
check "snapshot --replay: status 0 (got $status)" [ "$status" = 0 ]
check "snapshot --replay: two frames" [ -s "$WORK/frame-0001.png" -a -s "$WORK/frame-0002.png" ]
check "snapshot --replay: nothing on stderr" [ ! -s "$WORK/snapshot.err" ]

# The snapshot tool killed as its first frame appears: a frame is whole
# under its name, or not there; nothing else is left.
mkdir "$WORK/frames"
"$SNAPSHOT" --data "$WORK/run" --size 2048x2048 --ticks 4 --frames 4 --out "$WORK/frames/f.png" 2>/dev/null &
for _ in $(seq 1200); do [ -n "$(ls -A "$WORK/frames")" ] && break; sleep 0.05; done
kill -TERM $!
wait $!
frames=$(ls -A "$WORK/frames")
ends=$(for f in $frames; do tail -c 8 "$WORK/frames/$f" | od -An -tx1 | tr -d ' \n'; echo; done | sort -u)
check "snapshot killed while writing: whole frames only ($(echo $frames))" \
  [ -n "$frames" -a -z "$(grep -v '^f-000[1-4]\.png$' <<<"$frames")" -a "$ends" = 49454e44ae426082 ]

# Killed mid-flight: the file grows while the program flies, at least
# twice a second of flight; after SIGKILL the replay has what it held.
start_app "$WORK/run" --size 480x360 --record "$WORK/killed.rec"
wid=$(wait_window)
focus "$wid"
xdotool keydown w
sizes=0
for _ in $(seq 600); do
  size=$(stat -c %s "$WORK/killed.rec" 2>/dev/null || echo 0)
  [ "$size" = "${sizes##* }" ] || sizes="$sizes $size"
  [ "$(wc -w <<<"$sizes")" -gt 4 ] && break
  sleep 0.1
done
kill -9 "$APP_PID"
xdotool keyup w
wait_exit 20
check "killed recording: written while flying (sizes:$sizes)" [ "$(wc -w <<<"$sizes")" -gt 4 ]
replay_of "$WORK/killed.rec"
cut=$(grep -c "killed.rec is cut short after tick" "$WORK/app.err")
ticks=$(sed -n 's/^replay: \([0-9]*\) ticks, matches the recording$/\1/p' "$WORK/app.err")
check "killed recording: the replay says it was cut short" [ "$cut" = 1 ]
check "killed recording: its whole ticks match (${ticks:-none})" [ "${ticks:-0}" -gt 0 ]
check "killed recording: status 0 (got $REPLAY_STATUS)" [ "$REPLAY_STATUS" = 0 ]

# Killed at once, before or after its first write: the name (as long as
# a name may be) holds the older recording or one with flight, never an
# empty one, and nothing else is left in the folder.
long=$(printf 'x%.0s' $(seq 251)).rec
mkdir "$WORK/early"
cp "$WORK/flight.rec" "$WORK/early/$long"
start_app "$WORK/run" --size 480x360 --record "$WORK/early/$long"
wait_window >/dev/null
kill -9 "$APP_PID"
wait_exit 20
kept="the older recording"
if ! cmp -s "$WORK/flight.rec" "$WORK/early/$long"; then
  "$SNAPSHOT" --data "$WORK/run" --size 16x12 --replay "$WORK/early/$long" --out "$WORK/early.png" 2>"$WORK/early.err"
  kept="a new one: $(cat "$WORK/early.err")"
fi
check "killed at once: $kept" \
  [ "$kept" = "the older recording" -o -n "$(grep -sE 'cut short after tick [1-9]' "$WORK/early.err")" ]
check "killed at once: nothing left beside it" [ "$(ls -A "$WORK/early")" = "$long" ]

# Ctrl-C, a closed terminal and kill end a recording as Escape does, then
# the program by the signal. A background job starts with SIGINT ignored:
# the wrapper gives it back. The name is as long as a name may be.
for signal in INT:130 HUP:129 TERM:143; do
  rm -f "$WORK/early/$long"
  APP_ARGS=(--size 480x360 --record "$WORK/early/$long")
  start_in "$WORK/run" stop perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV'
  wait_window >/dev/null
  sleep 1
  kill -"${signal%:*}" "$APP_PID"
  wait_exit 20
  "$SNAPSHOT" --data "$WORK/run" --size 16x12 --replay "$WORK/early/$long" --out "$WORK/stop.png" \
    2>"$WORK/stop.snapshot.err"
  check "SIG${signal%:*}: ends by the signal (status $EXIT_STATUS), the recording whole" \
    [ "$EXIT_STATUS" = "${signal#*:}" -a -s "$WORK/early/$long" -a ! -s "$WORK/stop.snapshot.err" ]
done

# Two programs recording to one file: the second is refused before its
# window; the first says once that its file was removed under it.
start_app "$WORK/run" --size 480x360 --record "$WORK/shared.rec"
wid=$(wait_window)
for _ in $(seq 300); do [ -e "$WORK/shared.rec" ] && break; sleep 0.1; done
refused shared.rec "another program is writing it"
rm -f "$WORK/shared.rec"
sleep 2
status=$(end_with_escape "$wid" 60)
[ "$status" = running ] || APP_PID=""
check "removed while recording: said once ($(cat "$WORK/app.err"))" \
  [ "$(cat "$WORK/app.err")" = "flightscene: $WORK/shared.rec was removed or replaced while being recorded" ]

# Bad recordings: one line naming the file, status 1, before any window.
bad() {  # bad NAME PATTERN
  local status=0
  (cd "$WORK/run" && timeout 60 "$FS_BIN" --replay "$WORK/$1" >"$WORK/bad.out" 2>"$WORK/bad.err") ||
    status=$?
  check "$1: status 1 (got $status)" [ "$status" = 1 ]
  check "$1: one line, '$2'" \
    [ "$(wc -l <"$WORK/bad.err")" = 1 -a "$(grep -c "^flightscene: cannot replay $WORK/$1: $2" "$WORK/bad.err")" = 1 ]
}
: >"$WORK/empty.rec"
mkdir "$WORK/directory.rec"
mkfifo "$WORK/fifo.rec"
truncate -s 100M "$WORK/huge.rec"
cp "$FS_DATA/PlaneList.txt" "$WORK/notes.rec"
# What follows a newer header is never read: it may be anything.
{ cat "$(dirname "$0")/../../fuzz/recordings/newer_format.rec"; head -c 200 /dev/urandom; } >"$WORK/newer.rec"
cp "$WORK/flight.rec" "$WORK/damaged.rec"
printf '\x00\x01\x02\x03' | dd of="$WORK/damaged.rec" bs=1 seek=$(($(stat -c %s "$WORK/flight.rec") / 2)) conv=notrunc 2>/dev/null
bad empty.rec "the file is empty"
bad directory.rec "not a regular file"
bad fifo.rec "not a regular file"
bad huge.rec "larger than 64 MiB"
bad notes.rec "not a flight recording"
bad newer.rec "recorded by a newer flightscene"
bad damaged.rec "damaged after tick"
cp "$(dirname "$0")/../../fuzz/recordings/nan_step.rec" "$WORK/nan.rec"
bad nan.rec "damaged after tick 1$"
status=0
"$SNAPSHOT" --data "$WORK/run" --size 16x12 --replay "$WORK/nan.rec" --out "$WORK/nan.png" 2>"$WORK/nan.err" || status=$?
check "snapshot --replay nan.rec: status 1 (got $status), one line" \
  [ "$status" = 1 -a "$(cat "$WORK/nan.err")" = "flightscene-snapshot: cannot replay $WORK/nan.rec: damaged after tick 1" ]

# No update, and an end record naming four aircraft for a fleet of three.
perl -MCompress::Zlib -e 'local $/; my $b = <STDIN>;
  my $end = "E" . pack("V", 28) . pack("V7", 0, 0, 4, 1, 2, 3, 4);
  binmode STDOUT; print substr($b, 0, 17 + unpack("V", substr($b, 9, 4))), $end, pack("V", crc32($end));' \
  <"$WORK/flight.rec" >"$WORK/forged.rec"
status=0
"$SNAPSHOT" --data "$WORK/run" --size 16x12 --replay "$WORK/forged.rec" --out "$WORK/forged.png" 2>"$WORK/forged.err" || status=$?
check "snapshot --replay forged.rec: status 1 (got $status), it differs at tick 0" \
  [ "$status" = 1 -a "$(cat "$WORK/forged.err")" = "flightscene-snapshot: the flight differs from the recording at tick 0" ]
replay_of "$WORK/forged.rec"
check "replay forged.rec: it differs at tick 0" \
  grep -qx "replay: differs from the recording at tick 0" "$WORK/app.err"
printf 'models/cub.iv 1 0.25 0\n' >"$WORK/run/PlaneList.txt"
bad flight.rec "it was flown with another PlaneList.txt"

mkdir "$WORK/unwritable"
chmod 555 "$WORK/unwritable"
ln -s directory.rec "$WORK/dirlink.rec"
ln -s nowhere.rec "$WORK/dangling.rec"
refused directory.rec "not a regular file"
refused fifo.rec "not a regular file"
refused dirlink.rec "not a regular file"
refused dangling.rec "a link to nothing"
refused missing/flight.rec "no such directory"
refused unwritable/flight.rec "Permission denied" "${AS_USER[@]}"
# A 5 KB path is shown by its start and its file name.
deep=$(printf 'deep/%.0s' $(seq 1000))flight.rec
(cd "$WORK/run" && "$FS_BIN" --record "$WORK/$deep" 2>"$WORK/deep.err")
said=$(cat "$WORK/deep.err")
cut() { [ "${#said}" -lt 250 ] && [[ "$said" == "flightscene: cannot record to $WORK/deep/"*...*"/deep/flight.rec: "* ]]; }
check "a 5 KB path is cut in its message to its start and file name (${#said} bytes)" cut

# The run's own input files, in the data directory --data names: the list
# and a model it names.
mkdir "$WORK/inputs"
ln -s "$FS_DATA/img" "$WORK/inputs/img"
cp "$FS_DATA/models/cub.iv" "$WORK/inputs/own.iv"
printf 'own.iv 1 0.25 0\n' >"$WORK/inputs/PlaneList.txt"
cp -r "$WORK/inputs" "$WORK/inputs.before"
DATA=$WORK/inputs refused inputs/PlaneList.txt 'this run reads it (PlaneList.txt)'
DATA=$WORK/inputs refused inputs/own.iv 'this run reads it (own.iv)'
check "refused targets are as they were" \
  [ -d "$WORK/directory.rec" -a -p "$WORK/fifo.rec" -a -L "$WORK/dangling.rec" -a ! -e "$WORK/nowhere.rec" -a -z "$(ls -A "$WORK/unwritable")" ]
check "the run's input files are as they were" diff -r "$WORK/inputs" "$WORK/inputs.before"
finish
