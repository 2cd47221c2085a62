#!/usr/bin/env bash
# Input events and the wheel on the desktop back end: under Xvfb, xdotool
# turns the wheel both ways, clicks and taps keys over a program printing what
# it receives; every change arrives once, in order, and the notches add up.
set -uo pipefail
scratch=$2
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/checks.sh"
[ -x "${INPUT_PROBE:-}" ] || { echo "FAIL: INPUT_PROBE does not name the probe"; exit 1; }
xvfb_require "xvfb xauth xdotool" Xvfb xdotool
app=""
xvfb_clients=app
xvfb_start
"$INPUT_PROBE" > stdout.txt 2> stderr.txt &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
[ -n "$window" ] || { echo "FAIL: no window"; cat stderr.txt; exit 1; }
xdotool windowfocus --sync "$window" mousemove --window "$window" 100 100 sleep 1
# Away from the user 3 times and back once, left once and right twice.
xdotool click 4 click 4 click 4 click 5 click 6 click 7 click 7 sleep 0.5 click 1 key a sleep 0.5 key Escape
xvfb_await_exit "$app" "the probe"
[ "$code" -eq 0 ] || fail "the probe ended with $code"
wheel=$(awk '$1 == "wheel" { x += $2; y += $3 } END { print x + 0, y + 0 }' stdout.txt)
[ "$wheel" = "1 2" ] || fail "wheel notches $wheel, not 1 2"
# Left button (bit 1), then A (0x1E), down and up, then the Escape (0x01)
# that ends it, whose release may come in the same pump.
events=$(grep '^event' stdout.txt | tr '\n' ';')
events=${events%event 1 1 0;}
expected="event 2 1 1;event 2 1 0;event 1 30 1;event 1 30 0;event 1 1 1;"
[ "$events" = "$expected" ] || fail "events \"$events\", not \"$expected\""
finish "input events and the wheel on a desktop"
