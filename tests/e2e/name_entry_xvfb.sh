#!/usr/bin/env bash
# Text input on the desktop back end: on a virtual X server, xdotool types
# into the name_entry example's fields, edits, selects, and copies and pastes
# through the X clipboard, and the entries come out as typed. Then, with no
# field active and so no text input, keys type what the layout gives them:
# shifted symbols, and Cyrillic letters under a Russian layout, while text
# input (and with it the input method) has run only for the fields, as
# counted by the SDL call counter that ctest names. A second run types
# "Grüße" and 日本 into the name field: the example's strings are UTF-8.
set -uo pipefail
program="$(dirname "$(realpath "$1")")/examples/name_entry"
scratch=$2
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/checks.sh"
[ -x "$program" ] || { echo "SKIPPED: the examples are not built"; exit 0; }
counter=${SDL_CALL_COUNTER:-}
[ -f "$counter" ] || { echo "FAIL: SDL_CALL_COUNTER does not name the counter library"; exit 1; }
xvfb_require "" Xvfb xdotool import setxkbmap
app=""
xvfb_clients=app
xvfb_start
unset TESSEL_WINDOWED

LD_PRELOAD=$counter SDL_CALL_COUNTS=$PWD/counts "$program" > stdout.txt 2> stderr.txt &
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
xdotool type --delay 50 '!?@aB'
# "да" on the Russian layout's own keys (l and f on the US one).
setxkbmap -layout ru && sleep 0.5 && xdotool key --delay 50 Cyrillic_de Cyrillic_a
sleep 0.5
# Started once for each field, and stopped since (one more stop comes first,
# as the window opens).
read -r starts stops < <(od -An -t u8 -j 16 -N 16 counts)
[ "$starts" = 2 ] && [ "$stops" = 3 ] || fail "text input started $starts and stopped $stops times"
import -window root shot.png
setxkbmap -layout us
xdotool key Escape
xvfb_await_exit "$app" name_entry
app=""
[ "$code" -eq 0 ] || fail "exit code $code"
entries=$(cat stdout.txt)
[ "$entries" = "name: Tessel TarTessel Tar
age: 42
typed: !?@aBда" ] || fail "entries: $entries"

# xdotool types a character the layout lacks by mapping it to a spare key
# for the moment: each one is given time to arrive before the next.
"$program" > stdout2.txt 2> stderr2.txt &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
[ -n "$window" ] || { echo "FAIL: no window for the second run"; cat stderr2.txt; exit 1; }
xdotool windowfocus --sync "$window"
sleep 2
for character in G r ü ß e 日 本; do
  xdotool type --delay 100 "$character"
  sleep 0.3
done
xdotool key Return
xdotool type --delay 50 '7'
xdotool key Return
sleep 0.5
import -window root shot2.png
xdotool key Escape
xvfb_await_exit "$app" name_entry
app=""
[ "$code" -eq 0 ] || fail "second run: exit code $code"
[ "$(cat stdout2.txt)" = "name: Grüße日本
age: 7" ] || fail "second run entries: $(cat stdout2.txt)"
finish "name_entry under X"
