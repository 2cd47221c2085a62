#!/usr/bin/env bash
# A desktop session replays headless, frame for frame: under Xvfb xdotool
# plays three shots of the game, turning the cannon and moving the mouse,
# with TESSEL_RECORD on and screenshots by TESSEL_SCREENSHOT_KEY; the
# headless replay writes the same screenshots (byte for byte; within the GPU
# path's bound when the desktop drew on it), user.data and log (but for
# what the log says of the machine), and never diverges.
set -uo pipefail
game=$(realpath "$1")
scratch=$2
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/checks.sh"
assets=$(dirname "$game")/run
xvfb_require "xvfb xauth xdotool imagemagick" Xvfb xdotool compare
copy_assets() { mkdir -p "$1" && tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }
log() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt" | grep -v -e 'Build 1' -e 'メモリ' -e '３Ｄ' -e '^$'; }
game_pid=""
xvfb_clients=game_pid
xvfb_start
export TESSEL_WINDOWED=1
unset TESSEL_AUDIO_OUT TESSEL_GPU

record_and_replay() {  # FOLDER TESSEL_GPU
  copy_assets "$1/desk" && copy_assets "$1/replay"
  (cd "$1/desk" && TESSEL_GPU=$2 TESSEL_RECORD=s.rec TESSEL_SCREENSHOT_KEY=F9 exec "$game" > out 2>&1) &
  game_pid=$!
  window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)
  [ -n "$window" ] || { echo "FAIL: no game window within 15 s"; exit 1; }
  xdotool windowfocus --sync "$window" && sleep 2 && xdotool key F9 key space && sleep 1.5
  for turn in 1 2 3; do
    xdotool keydown Right sleep 0.$((turn + 2)) keyup Right keydown Up sleep 0.$((turn * 2)) keyup Up
    xdotool mousemove --window "$window" $((100 * turn)) $((80 * turn)) sleep 0.2 key F9 sleep 0.3
    xdotool keydown space sleep 0.$((turn + 4)) keyup space sleep 1 key F9 sleep 4 key F9 sleep 0.3
  done
  xdotool key Escape
  xvfb_await_exit "$game_pid" game
  game_pid=""
  [ "$(ls "$1"/desk/shot-*.png | wc -l)" -eq 10 ] || fail "$1: not 10 screenshots on the desktop"
  cp "$1/desk/s.rec" "$1/replay/"
  (cd "$1/replay" && TESSEL_PLATFORM=headless TESSEL_INPUT=s.rec timeout 120 "$game" > out 2>&1) ||
    fail "$1: the replay failed"
  grep -c 'diverged' "$1/replay/out" > /dev/null && fail "$1: $(cat "$1/replay/out")"
  for file in "$1"/desk/shot-*.png; do
    copy="$1/replay/$(basename "$file")"
    if [ "$2" = 0 ]; then cmp -s "$file" "$copy" || fail "$copy differs"
    # The GPU path's bound: 2 levels of 8 bits, on all but 0.1 % of pixels.
    else [ "$(compare -metric AE -fuzz 1% "$file" "$copy" null: 2>&1)" -le 307 ] || fail "$copy is off"
    fi
  done
  if [ -f "$1/desk/user.data" ] || [ -f "$1/replay/user.data" ]; then
    cmp -s "$1/desk/user.data" "$1/replay/user.data" || fail "$1: user.data differs"
  fi
  diff <(log "$1/desk") <(log "$1/replay") > "$1/log.diff" || fail "$1: logs differ: $(head "$1/log.diff")"
}

record_and_replay software 0
record_and_replay gpu 1
finish "desktop sessions replayed headless"
