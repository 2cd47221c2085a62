#!/usr/bin/env bash
# Typed text and a composition, recorded: the name_entry example typed into
# by a script through an input method's composition, with TESSEL_RECORD on;
# the recording alone, replayed, fills its fields with the same text.
set -uo pipefail
program="$(dirname "$(realpath "$1")")/examples/name_entry"
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
[ -x "$program" ] || { echo "SKIPPED: the examples are not built"; exit 0; }
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_RECORD TESSEL_SCREENSHOT_KEY
printf '%s\n' '1000 text Tessel' '1100 compose 3 やまだ' '1200 compose 2 山田' '1300 compose 0 ' \
  '1300 text 山田' '1400 down RETURN' '1420 up RETURN' '1500 text 42' '1600 down RETURN' \
  '1620 up RETURN' '1800 down ESCAPE' > input.txt
TESSEL_INPUT=input.txt TESSEL_RECORD=s.rec timeout 60 "$program" > played.txt || fail "the run failed"
[ "$(cat played.txt)" = $'name: Tessel山田\nage: 42' ] || fail "printed $(cat played.txt)"
grep -c ' compose 2 山田$' s.rec > /dev/null || fail "the recording holds no composition"
TESSEL_INPUT=s.rec timeout 60 "$program" > replayed.txt 2> stderr.txt || fail "the replay failed"
[ ! -s stderr.txt ] || fail "the replay said: $(cat stderr.txt)"
cmp -s played.txt replayed.txt || fail "the replay printed $(cat replayed.txt)"
finish "name entry recorded and replayed"
