#!/usr/bin/env bash
# Text input on the desktop back end: on a virtual X server, xdotool types
# into the name_entry example's fields, edits, selects, and copies and pastes
# through the X clipboard, and the entries come out as typed. (Japanese typed
# by xdotool is left out: it remaps a spare key for each such character and
# races the program reading the key.)
set -uo pipefail
program="$(dirname "$(realpath "$1")")/examples/name_entry"
scratch=$2
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
[ -x "$program" ] || { echo "SKIPPED: the examples are not built"; exit 0; }
for tool in Xvfb xdotool import; do
  command -v "$tool" > /dev/null || { echo "SKIPPED: $tool is missing"; exit 0; }
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> display.txt > xvfb.log 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2> /dev/null
  kill "$xvfb" 2> /dev/null
  wait 2> /dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s display.txt ] && break
  sleep 0.1
done
export DISPLAY=":$(tr -d '[:space:]' < display.txt)" TESSEL_PLATFORM=sdl
unset WAYLAND_DISPLAY SDL_VIDEODRIVER TESSEL_INPUT TESSEL_WINDOWED

"$program" > stdout.txt 2> stderr.txt &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
[ -n "$window" ] || { echo "FAIL: no window"; cat stderr.txt; exit 1; }
xdotool windowfocus --sync "$window"
sleep 2
# "Tessel Taro山田", then Left twice over 山田 and Backspace takes the "o".
# "Tessel Tar" after Backspace, all of it selected and copied, then pasted
# at the end: exactly the field's 20 bytes.
xdotool type --delay 50 'Tessel Taro'
xdotool key --delay 50 BackSpace Home shift+End ctrl+c End ctrl+v ctrl+v Return
xdotool type --delay 50 '4x2'
xdotool key Return
sleep 0.5
import -window root shot.png
xdotool key Escape
for _ in $(seq 50); do
  kill -0 "$app" 2> /dev/null || break
  sleep 0.1
done
wait "$app"
code=$?
app=""
failures=0
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; failures=1; }
entries=$(iconv -f CP932 -t UTF-8 stdout.txt)
[ "$entries" = "name: Tessel TarTessel Tar
age: 42" ] || { echo "FAIL: entries: $entries"; failures=1; }
[ "$failures" -eq 0 ] && echo "name_entry under X: all checks passed"
exit "$failures"
