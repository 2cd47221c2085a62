#!/usr/bin/env bash
# Typed text and an input method's composition, recorded: the name_entry
# example is played headless by a script that types into its fields through
# a composition, with TESSEL_RECORD on; the recording alone, replayed, fills
# the fields with the same text, and the example prints the same entries.
set -uo pipefail
program="$(dirname "$(realpath "$1")")/examples/name_entry"
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
[ -x "$program" ] || { echo "SKIPPED: the examples are not built"; exit 0; }
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_RECORD TESSEL_SCREENSHOT_KEY

mkdir -p played replayed
cat > played/input.txt << 'SCRIPT'
1000 text Tessel
1100 compose 3 やまだ
1200 compose 2 山田
1300 compose 0 
1300 text 山田
1400 down RETURN
1420 up RETURN
1500 text 42
1600 down RETURN
1620 up RETURN
1700 text ok
1800 down ESCAPE
1820 up ESCAPE
SCRIPT
(cd played && TESSEL_INPUT=input.txt TESSEL_RECORD=session.rec timeout 60 "$program" \
  > stdout.txt 2> stderr.txt)
[ $? -eq 0 ] || fail "the scripted run failed: $(cat played/stderr.txt)"
entries=$(iconv -f CP932 -t UTF-8 played/stdout.txt)
[ "$entries" = "name: Tessel山田
age: 42
typed: ok" ] || fail "the scripted run printed: $entries"
grep -c ' compose 2 山田$' played/session.rec > /dev/null || fail "the recording holds no composition"
grep -c ' text 山田$' played/session.rec > /dev/null || fail "the recording holds no typed text"

cp played/session.rec replayed/
(cd replayed && TESSEL_INPUT=session.rec timeout 60 "$program" > stdout.txt 2> stderr.txt)
[ $? -eq 0 ] || fail "the replay failed: $(cat replayed/stderr.txt)"
[ ! -s replayed/stderr.txt ] || fail "the replay said: $(cat replayed/stderr.txt)"
cmp -s played/stdout.txt replayed/stdout.txt ||
  fail "the replay printed $(iconv -f CP932 -t UTF-8 replayed/stdout.txt)"
finish "name entry recorded and replayed"
