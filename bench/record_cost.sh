#!/usr/bin/env bash
# What recording a session costs the game on the desktop back end: under a
# virtual X server Ballistor aims for SECONDS (default 10) in a window, once
# unrecorded and once with TESSEL_RECORD, and each run prints the process's
# CPU time (all threads, the recorder's writer among them) as a share of a
# core, the recording's growth, and the longest gap between two clock
# readings the game took while recording: a frame the recorder held up
# would show there.
#   bench/record_cost.sh BUILD/ballistor BUILD/run [SECONDS]
set -euo pipefail
game=$(realpath "$1")
assets=$(realpath "$2")
seconds=${3:-10}
work=$(mktemp -d)
cd "$work"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> display.txt > xvfb.log 2>&1 &
xvfb=$!
trap 'kill $xvfb 2> /dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '[:space:]' < display.txt)" TESSEL_PLATFORM=sdl TESSEL_WINDOWED=1
hz=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

run() {  # NAME [RECORDING]
  rm -rf play && mkdir play && cp -r "$assets"/. play/
  (cd play && TESSEL_RECORD=${2:-} exec "$game" > /dev/null 2>&1) &
  local pid=$! window
  window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
  xdotool windowfocus --sync "$window"
  sleep 2
  xdotool key space
  sleep 2
  local before_ticks before_time before_bytes=0 after_bytes=0
  [ -n "${2:-}" ] && before_bytes=$(stat -c %s "play/$2")
  before_ticks=$(cpu_ticks "$pid")
  before_time=$EPOCHREALTIME
  sleep "$seconds"
  local after_ticks after_time
  after_ticks=$(cpu_ticks "$pid")
  after_time=$EPOCHREALTIME
  [ -n "${2:-}" ] && after_bytes=$(stat -c %s "play/$2")
  xdotool key Escape
  wait "$pid" || true
  awk -v n="$1" -v t0="$before_ticks" -v t1="$after_ticks" -v s0="$before_time" \
    -v s1="$after_time" -v hz="$hz" -v b0="$before_bytes" -v b1="$after_bytes" 'BEGIN {
      s = s1 - s0
      printf "%-10s CPU %5.1f %% of a core", n, (t1 - t0) * 100 / (hz * s)
      if (b1 > 0) printf ", recording grows %.1f KB/s", (b1 - b0) / 1024 / s
      printf "\n" }'
  if [ -n "${2:-}" ]; then
    # Readings are "<ms> clock <ms>"; the aiming loop reads the clock every
    # frame, so a gap longer than a frame is a frame held up.
    tail -c +"$((before_bytes + 1))" "play/$2" | head -c "$((after_bytes - before_bytes))" |
      awk '$2 == "clock" { if (last && $3 - last > gap) gap = $3 - last; last = $3 }
        END { printf "%-10s longest gap between two clock readings: %d ms\n", "", gap }' 
  fi
}

for _ in 1 2; do
  run unrecorded
  run recorded session.rec
done
