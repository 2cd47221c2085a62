#!/usr/bin/env bash
# The game on the desktop back end under a virtual X server, played with
# xdotool. The window is called "Ballistor", shows the game's icon and keeps
# the class "Tessel". Space on the title starts round 1 without charging, a
# second press fires a shot; the HUD's shot count, read from screenshots of the window, goes from
# 20 to 19 once the shot is over; the aiming loop then sleeps between frames
# instead of spinning; Escape ends the game with code 0; the sound driver's
# own complaints stay off the terminal.
set -uo pipefail
game=$(realpath "$1")
scratch=$2
source "$(dirname "$0")/../support/pacing.sh"
source "$(dirname "$0")/../support/xvfb.sh"
counter=${SDL_CALL_COUNTER:-}
[ -f "$counter" ] || { echo "FAIL: SDL_CALL_COUNTER does not name the counter library"; exit 1; }
data=$(cd "$(dirname "$0")/../data" && pwd)
assets=$(dirname "$game")/run
source "$(dirname "$0")/../support/checks.sh"

xvfb_require "xvfb xauth xdotool x11-utils imagemagick" Xvfb xdotool xprop import convert compare
[ -f "$assets/.asset-list" ] || { echo "FAIL: no generated assets in $assets"; exit 1; }
# The files of the asset set, by the generator's list: the folder also holds
# what a game played there left behind.
copy_assets() { tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }

game_pid=""
xvfb_clients=game_pid
xvfb_start
export TESSEL_WINDOWED=1
unset TESSEL_AUDIO_OUT

mkdir -p play && copy_assets play
(cd play && LD_PRELOAD=$counter SDL_CALL_COUNTS=$PWD/counts exec "$game" > stdout.txt 2> stderr.txt) &
game_pid=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)
if [ -z "$window" ]; then
  echo "FAIL: no game window within 15 s"
  cat play/stderr.txt
  exit 1
fi
xdotool windowfocus --sync "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "window is ${WIDTH}x$HEIGHT, not 640x480"
name=$(xdotool getwindowname "$window")
[ "$name" = Ballistor ] || fail "the window is called \"$name\""
class=$(xprop -id "$window" WM_CLASS)
[[ "$class" == *'= "Tessel", "Tessel"' ]] || fail "the window class is not Tessel: $class"
icon=$(xprop -id "$window" _NET_WM_ICON)
[[ "$icon" == *"Icon (64 x 64)"* ]] || fail "the window has not the game's icon"

# The window's picture as a 640 x 480 PNG in $1.
shoot() { import -window root -crop "640x480+$X+$Y" +repage "$1"; }
# Region $2 of screenshot $1 shows the headless reference $3. In window mode
# the screen takes the desktop's depth instead of the headless 16 bits per
# pixel, so colours may differ in their low bits: a 10% tolerance, far below
# the contrast of the white digits on their dark box.
crop_is() {
  local got
  got=$(convert "$1" -crop "$2" +repage png:- | compare -fuzz 10% -metric AE - "$3" null: 2>&1)
  [ "$got" = 0 ]
}
# Polls screenshots for up to $3 seconds until region $1 shows reference $2.
wait_for() {
  local deadline=$((SECONDS + $3)) n=0
  while [ "$SECONDS" -lt "$deadline" ]; do
    n=$((n + 1))
    shoot "shot_$n.png"
    if crop_is "shot_$n.png" "$1" "$2"; then
      cp "shot_$n.png" last.png
      return 0
    fi
    sleep 0.3
  done
  cp "shot_$n.png" last.png 2> /dev/null
  return 1
}
round_box=26x20+374+298
shots_box=20x15+496+458

wait_for "$round_box" "$data/game_round_01.png" 15 || fail "the title with round 01 did not show"
cp last.png title.png 2> /dev/null

# The press of Space that starts the round charges nothing, even held into
# the round: its release fires no shot. A second press, held half a second,
# charges and fires on release.
xdotool keydown space
wait_for "$shots_box" "$data/game_shots_20.png" 15 || fail "round 1 did not start with 20 shots"
cp last.png round.png 2> /dev/null
sleep 1
xdotool keyup space
sleep 2
shoot held.png
crop_is held.png "$shots_box" "$data/game_shots_20.png" || fail "the title's press fired a shot"
xdotool keydown space
sleep 0.5
xdotool keyup space

# The count drops when the shot is over; it stays at 19 afterwards (a shot
# fired by the full gauge would have taken a second charge on landing).
wait_for "$shots_box" "$data/game_shots_19.png" 20 || fail "the shot did not end: shots are not 19"
sleep 3
shoot after.png
crop_is after.png "$shots_box" "$data/game_shots_19.png" || fail "more than one charge was spent"

# Aiming, nothing held: a frame every 5 ms at most, paced by the display.
# Between frames the pump sleeps until the millisecond clock moves on, so the
# loop makes at most one pass a millisecond (it made over ten thousand a
# second when it spun).
read -r presents polls cpu wakeups < <(pacing_sample "$game_pid" play/counts 4)
echo "aiming: $presents presents/s, $polls polls/s, main thread ${cpu}% of a core"
at_most "$presents" "$pacing_max_presents" || fail "aiming: $presents presents a second"
at_most "$polls" 1500 || fail "aiming: $polls polls a second: the loop spins"

xdotool key Escape
xvfb_await_exit "$game_pid" game
game_pid=""
[ "$code" -eq 0 ] || fail "exit code $code"

# What the sound driver says goes to the log, never to the terminal; without
# a device the terminal gets one line of ours.
! grep -c '^ALSA lib' play/stderr.txt > /dev/null || fail "the sound driver's lines reached the terminal"
iconv -f CP932 -t UTF-8 play/AppLog.txt > log.txt
if grep -c '初期化処理...  初期化に失敗しました' log.txt > /dev/null; then
  [ "$(grep -c 'running without sound' play/stderr.txt)" = 1 ] \
    || fail "no single line saying the game runs without sound"
fi

if [ "$failures" -ne 0 ]; then cat play/stderr.txt; echo "$failures failure(s)"; exit 1; fi
echo "game under Xvfb: all checks passed"
