#!/usr/bin/env bash
# A session recorded on the desktop replays headless, frame for frame. Under
# a virtual X server xdotool plays the game for three shots, moving the
# cannon, the barrel and the mouse, with screenshots taken by the key that
# TESSEL_SCREENSHOT_KEY names; TESSEL_RECORD records it. The headless replay
# of the recording writes the same screenshots byte for byte, the same
# user.data and the same log, time stamps included (only the lines about
# the machine may differ). Then again with the desktop drawing on the GPU
# path: the replay, on the software path, stays within that path's bound.
set -uo pipefail
game=$(realpath "$1")
scratch=$2
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/checks.sh"
assets=$(dirname "$game")/run
xvfb_require "xvfb xauth xdotool imagemagick" Xvfb xdotool compare
[ -f "$assets/.asset-list" ] || { echo "FAIL: no generated assets in $assets"; exit 1; }
copy_assets() { mkdir -p "$1" && tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }

game_pid=""
xvfb_clients=game_pid
xvfb_start
export TESSEL_WINDOWED=1
unset TESSEL_AUDIO_OUT TESSEL_GPU

# The log but for what it says of the machine: the back end's name, the
# memory, and the renderer the GPU path found.
log() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt" | grep -v -e 'Build 1' -e 'メモリ' -e '３Ｄ' -e '^$'; }

# Records a session in $1/desk with TESSEL_GPU=$2 and replays it in
# $1/replay on the software path.
record_and_replay() {
  copy_assets $1/desk
  (cd $1/desk && TESSEL_GPU=$2 TESSEL_RECORD=session.rec TESSEL_SCREENSHOT_KEY=F9 exec "$game" > stdout.txt 2> stderr.txt) &
  game_pid=$!
  window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)
  [ -n "$window" ] || { echo "FAIL: no game window within 15 s"; cat $1/desk/stderr.txt; exit 1; }
  xdotool windowfocus --sync "$window"
  sleep 2
  shot() { xdotool key F9; sleep 0.3; }
  shot
  xdotool key space
  sleep 1.5
  # Three shots, each after a turn of the cannon and the barrel, the mouse
  # wandering over the view in between.
  for turn in 1 2 3; do
    xdotool keydown Right; sleep 0.$((turn + 2)); xdotool keyup Right
    xdotool keydown Up; sleep 0.$((turn * 2)); xdotool keyup Up
    xdotool mousemove --window "$window" $((100 * turn)) $((80 * turn)); sleep 0.2
    shot
    xdotool keydown space; sleep 0.$((turn + 4)); xdotool keyup space
    sleep 1
    shot
    sleep 4
    shot
  done
  xdotool key Escape
  xvfb_await_exit "$game_pid" game
  game_pid=""
  [ "$code" -eq 0 ] || fail "the $1 desktop run ended with $code"
  shots=$(cd $1/desk && ls shot-*.png 2> /dev/null | wc -l)
  [ "$shots" -eq 10 ] || fail "the $1 desktop run saved $shots screenshots, not 10"
  grep -c ' capture shot-' $1/desk/session.rec > /dev/null || fail "the $1 recording holds no capture line"

  # The replay, headless, in a folder of its own.
  copy_assets $1/replay
  cp $1/desk/session.rec $1/replay/
  (cd $1/replay && TESSEL_PLATFORM=headless TESSEL_INPUT=session.rec timeout 120 "$game" \
    > stdout.txt 2> stderr.txt)
  code=$?
  [ "$code" -eq 0 ] || fail "the $1 replay ended with $code"
  grep -c 'diverged' $1/replay/stderr.txt > /dev/null && fail "the $1 replay diverged: $(cat $1/replay/stderr.txt)"
  for file in $1/desk/shot-*.png; do
    name=$(basename "$file")
    [ -f "$1/replay/$name" ] || { fail "the $1 replay wrote no $name"; continue; }
    if [ "$2" = 0 ]; then
      cmp -s "$file" "$1/replay/$name" || fail "$name differs between the $1 desktop and the replay"
    else
      # The GPU path's bound: 2 levels of 8 bits, on all but 0.1 % of pixels.
      off=$(compare -metric AE -fuzz 1% "$file" "$1/replay/$name" null: 2>&1)
      [ "${off%%.*}" -le 307 ] || fail "$1: $name: $off pixels off beyond the GPU path's bound"
    fi
  done
  if [ -f $1/desk/user.data ] || [ -f $1/replay/user.data ]; then
    cmp -s $1/desk/user.data $1/replay/user.data || fail "$1: user.data differs"
  fi
  diff <(log "$1/desk") <(log "$1/replay") > "$1/log.diff" ||
    fail "$1: the logs differ: $(head -20 "$1/log.diff")"
}

record_and_replay software 0
record_and_replay gpu 1
finish "a desktop session replayed headless"
