#!/usr/bin/env bash
# Text input on the desktop back end: on a virtual X server, xdotool types
# into the name_entry example's fields, edits, selects, and copies and pastes
# through the X clipboard, and the entries come out as typed. (Japanese typed
# by xdotool is left out: it remaps a spare key for each such character and
# races the program reading the key.)
set -uo pipefail
program="$(dirname "$(realpath "$1")")/examples/name_entry"
scratch=$2
source "$(dirname "$0")/../support/xvfb.sh"
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
[ -x "$program" ] || { echo "SKIPPED: the examples are not built"; exit 0; }
xvfb_require "" Xvfb xdotool import
app=""
xvfb_clients=app
xvfb_start
unset TESSEL_WINDOWED

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
