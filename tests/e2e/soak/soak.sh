#!/usr/bin/env bash
# Soak: the real program under a random storm of key presses and releases
# (the twelve watched keys and others, never Escape) and window resizes
# from 1x1 to the largest the X server allows (32767x32767), for
# FS_SOAK_SECONDS (default 75; 600 for the long run). Checks: it never dies,
# no frame leaves a GL error, resident memory grows by less than 1 MB between
# the end of the warm-up and the end, the tick still moves the view, and an
# Escape stroke ends it with status 0.
# FS_SOAK_SEED replays a storm.
source "$(dirname "$0")/../../support/e2e.sh" "$@"
duration=${FS_SOAK_SECONDS:-75}
seed=${FS_SOAK_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed
echo "soak: ${duration}s, seed $seed"

make_rundir "$WORK/run" "$(cat "$FS_DATA/PlaneList.txt")"
export FLIGHTSCENE_GL_CHECK=1
# A fixed mmap threshold: freed frame buffers of every size go back to the
# system, so resident memory tracks live memory. With glibc's adaptive
# threshold, buffers of sizes met before stay cached in the heap and RSS
# wanders by megabytes with the resize history alone. One arena: the
# renderer's threads would otherwise each keep a heap of their own.
export GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072:glibc.malloc.trim_threshold=131072:glibc.malloc.arena_max=1
start_in "$WORK/run" soak
wid=$(wait_window 300)
check "window appears" [ -n "$wid" ]
if [ -z "$wid" ]; then
  echo "--- status: $(cat "$WORK/soak.status" 2>/dev/null || echo running); stderr:"
  head -c 2000 "$WORK/soak.err"
  finish
fi
focus "$wid"

keys=(Up Down Left Right Return Tab space w s a n Escape)
keys=("${keys[@]:0:11}" q F5 Shift_L Control_L BackSpace Home 1 KP_Add)
declare -A held=()
# X sizes are 16-bit: ask for the most and read back what the server gave.
xdotool windowsize "$wid" 32767 32767
largest=$(xdotool getwindowgeometry "$wid" | awk '/Geometry:/ {sub("x", " ", $2); print $2}')
beyond=0
[ "${largest%% *}" -gt 16384 ] 2>/dev/null && [ "${largest##* }" -gt 16384 ] && beyond=1
check "the window grows beyond 16384x16384 (got ${largest:-nothing})" [ "$beyond" = 1 ]
sizes=("1 1" "2 3" "17 9" "320 200" "640 480" "1024 768" "1920 1080" "4096 4096" "$largest")

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$APP_PID/status" 2>/dev/null; }
alive() { kill -0 "$APP_PID" 2>/dev/null && [ ! -e "$WORK/soak.status" ]; }
release_all() {
  for k in "${!held[@]}"; do xdotool keyup "$k"; done
  held=()
}
# The same still state for each memory reading: no key held, the start size,
# a few frames drawn; the smallest of five readings (single readings vary by
# a few hundred kB with the renderer's threads).
quiet_rss() {
  release_all
  xdotool windowsize "$wid" 1024 768
  sleep 3
  local best="" r
  for _ in 1 2 3 4 5; do
    r=$(rss_kb)
    if [ -n "$r" ] && { [ -z "$best" ] || [ "$r" -lt "$best" ]; }; then best=$r; fi
    sleep 1
  done
  echo "$best"
}

storm() {  # storm SECONDS
  local end=$((SECONDS + $1)) k
  while [ $SECONDS -lt $end ] && alive; do
    if [ $((RANDOM % 25)) -eq 0 ]; then
      xdotool windowsize "$wid" ${sizes[$((RANDOM % ${#sizes[@]}))]}
    else
      k=${keys[$((RANDOM % ${#keys[@]}))]}
      if [ -n "${held[$k]:-}" ]; then
        xdotool keyup "$k"
        unset "held[$k]"
      elif [ ${#held[@]} -lt 4 ]; then
        xdotool keydown "$k"
        held[$k]=1
      fi
    fi
    sleep "0.$((RANDOM % 15))"
  done
}

# Warm-up: the extremes of size first, so the largest buffers have been
# allocated once before memory is measured (a window beyond the GL's limits
# is not drawn).
for s in "$largest" "4096 4096" "1 1" "1920 1080"; do
  xdotool windowsize "$wid" $s
  sleep 2
done
warm=$((duration / 4 > 15 ? duration / 4 : 15))
storm "$warm"
rss_start=$(quiet_rss)
storm $((duration - warm))
check "still running after the storm" alive
rss_end=$(quiet_rss)
growth=$(( ${rss_end:-0} - ${rss_start:-0} ))
echo "soak: RSS after warm-up ${rss_start} kB, at the end ${rss_end} kB, growth ${growth} kB"
check "RSS was read" [ -n "$rss_start" ] && [ -n "$rss_end" ]
# A sanitizer's allocator keeps freed memory in quarantine on purpose, so
# the sanitizer stage sets FS_SOAK_RSS=off.
if [ "${FS_SOAK_RSS:-on}" = off ]; then
  echo "soak: RSS growth not checked (FS_SOAK_RSS=off)"
else
  check "RSS grows by less than 1 MB (${growth} kB)" [ "$growth" -lt 1024 ]
fi

# The tick still runs: S stops any backward drift, then W with Left turns
# the view (far from every cloud, only a turn changes the picture).
focus "$wid"
xdotool keydown s; sleep 0.5; xdotool keyup s
xdotool keydown w Left
moved=0
shot "$wid" "$WORK/a.png"
for _ in $(seq 30); do
  sleep 2
  shot "$wid" "$WORK/b.png"
  d=$(differing_pixels "$WORK/a.png" "$WORK/b.png")
  if [ "${d%%.*}" -gt 1000 ]; then moved=1; break; fi
  cp "$WORK/b.png" "$WORK/a.png"
done
xdotool keyup w Left
check "the view still changes while W is held" [ "$moved" = 1 ]

lacks() { ! grep -q -E "$1" "$2"; }  # lacks PATTERN FILE
check "no GL error reported" lacks "GL error" "$WORK/soak.err"
check "no sanitizer report" lacks "Sanitizer|runtime error" "$WORK/soak.err"
stroke Escape
status=$(wait_status 60)
check "an Escape stroke ends it with status 0 (got $status)" [ "$status" = 0 ]
[ "$status" = running ] || APP_PID=""
check "nothing on stdout" [ ! -s "$WORK/soak.out" ]
if [ -s "$WORK/soak.err" ]; then echo "--- stderr (head):"; head -c 3000 "$WORK/soak.err"; fi
finish
