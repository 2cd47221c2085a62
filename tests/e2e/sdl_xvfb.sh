#!/usr/bin/env bash
# The desktop back end on a virtual X server: the window appears at its size
# and shows a picture, the title presents once a display frame at most, the
# game sleeps while its window is inactive, Escape ends it with code 0, in
# window mode and full screen; and without a usable display it says how to run
# headless instead of crashing or running unseen.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
game=$(realpath "$1")
scratch=$2
source "$(dirname "$0")/../support/pacing.sh"
source "$(dirname "$0")/../support/xvfb.sh"
counter=${SDL_CALL_COUNTER:-}
[ -f "$counter" ] || { echo "FAIL: SDL_CALL_COUNTER does not name the counter library"; exit 1; }
source "$(dirname "$0")/../support/checks.sh"

xvfb_require "xvfb xauth xdotool imagemagick" Xvfb xdotool import convert display

# --- Without a usable display, none set or one that cannot be opened (where
# SDL would fall back to drawing unseen): a clear message on the terminal and
# in the log, the start fails with -1, no hang.
check_no_display() {  # name [DISPLAY]
  local name=$1 code
  mkdir -p "$name"
  (unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER
   [ $# -gt 1 ] && export DISPLAY=$2
   cd "$name" && TESSEL_PLATFORM=sdl timeout 20 "$game" > stdout.txt 2> stderr.txt)
  code=$?
  [ "$code" -ne 124 ] || fail "$name: the game hung"
  [ "$code" -eq 255 ] || fail "$name: exit code $code, not 255"
  grep -c "No display found" "$name/stderr.txt" > /dev/null || fail "$name: message missing"
  grep -c "TESSEL_PLATFORM=headless" "$name/stderr.txt" > /dev/null \
    || fail "$name: headless hint missing"
  iconv -f CP932 -t UTF-8 "$name/AppLog.txt" | grep -c 'プラットフォームの初期化に失敗しました' \
    > /dev/null || fail "$name: the log does not say the start failed"
}
check_no_display nodisplay
check_no_display baddisplay :987

# --- A virtual X server with a white root window, so that the game's window
# stands out in screenshots.
game_pid=""
helper=""
xvfb_clients="game_pid helper"
xvfb_start -wr
unset TESSEL_WINDOWED

# A second X client whose window can take the focus away from the game.
display -size 64x64 xc:red &
helper=$!
helper_window=$(timeout 15 xdotool search --sync --onlyvisible --class display | head -n 1)
[ -n "$helper_window" ] || { echo "FAIL: the helper window did not appear"; exit 1; }

# Runs the game in folder $1; $2 is 1 for window mode, 0 for full screen.
check_run() {
  local name=$1 windowed=$2 window shot mean corner presents polls cpu wakeups
  mkdir -p "$name"
  (cd "$name" && TESSEL_WINDOWED=$windowed LD_PRELOAD=$counter SDL_CALL_COUNTS=$PWD/counts \
    exec "$game" > stdout.txt 2> stderr.txt) &
  game_pid=$!

  window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)
  if [ -z "$window" ]; then
    fail "$name: no window within 15 s"
    cat "$name/stderr.txt"
    return
  fi
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  if [ "$windowed" -eq 1 ]; then
    [ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "$name: window is ${WIDTH}x$HEIGHT, not 640x480"
  else
    [ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] && [ "$X" = 0 ] && [ "$Y" = 0 ] \
      || fail "$name: full-screen window is ${WIDTH}x$HEIGHT+$X+$Y, not the whole display"
  fi

  xdotool windowfocus --sync "$window"
  sleep 1
  shot="$name/shot.png"
  import -window root "$shot"
  if [ ! -s "$shot" ]; then
    fail "$name: no screenshot"
  else
    [ "$(identify -format '%wx%h' "$shot")" = 1024x768 ] || fail "$name: screenshot size"
    # The window's area shows the game's picture, not the white root.
    mean=$(convert "$shot" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -format '%[fx:mean]' info:)
    awk -v m="$mean" 'BEGIN { exit !(m < 0.99) }' || fail "$name: window area is blank (mean $mean)"
    if [ "$windowed" -eq 1 ]; then
      corner=$(convert "$shot" -format '%[fx:p{2,2}.r]' info:)
      [ "$corner" = 1 ] || fail "$name: the root around the window is covered"
    fi
  fi

  # The title presents every pass: the display's frames pace it.
  read -r presents polls cpu wakeups < <(pacing_sample "$game_pid" "$name/counts" 4)
  echo "$name title: $presents presents/s, $polls polls/s, main thread ${cpu}% of a core"
  at_most "$presents" "$pacing_max_presents" || fail "$name: $presents presents a second"

  # Inactive: the game waits for its window to come back, sleeping on the
  # event queue.
  xdotool windowfocus --sync "$helper_window"
  sleep 0.5
  read -r presents polls cpu wakeups < <(pacing_sample "$game_pid" "$name/counts" 4)
  echo "$name paused: $wakeups wake-ups/s, main thread ${cpu}% of a core"
  at_most "$cpu" 10 || fail "$name: ${cpu}% CPU while inactive"
  at_most "$wakeups" 20 || fail "$name: $wakeups wake-ups a second while inactive"
  [ "$presents" = 0.0 ] || fail "$name: presents while inactive"

  xdotool windowfocus --sync "$window"
  sleep 0.5
  xdotool key Escape
  local code
  xvfb_await_exit "$game_pid" "$name"
  game_pid=""
  [ "$code" -eq 0 ] || fail "$name: exit code $code"
  [ -s "$name/AppLog.txt" ] || fail "$name: no AppLog.txt"
}

# SIGTERM, as from the session ending, closes the window like the user would.
check_terminate() {
  mkdir -p terminated
  (cd terminated && TESSEL_WINDOWED=1 exec "$game" > stdout.txt 2> stderr.txt) &
  game_pid=$!
  if [ -z "$(timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)" ]; then
    fail "terminated: no window within 15 s"
    return
  fi
  kill -TERM "$game_pid"
  for _ in $(seq 100); do
    kill -0 "$game_pid" 2> /dev/null || break
    sleep 0.1
  done
  wait "$game_pid"
  local code=$?
  game_pid=""
  [ "$code" -eq 0 ] || fail "terminated: exit code $code"
  iconv -f CP932 -t UTF-8 terminated/AppLog.txt | grep -c 'ウインドウを閉じようとしています' \
    || fail "terminated: the window was not closed"
}

check_run windowed 1
check_run fullscreen 0
check_terminate

finish "sdl under Xvfb"
