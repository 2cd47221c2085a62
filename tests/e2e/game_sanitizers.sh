#!/usr/bin/env bash
# Whole games under AddressSanitizer and UndefinedBehaviorSanitizer: a build
# of the game of its own in the scratch folder (kept between runs, so only
# changed files are compiled again), then round 14 cleared and a game lost by
# spending every charge, each on the headless platform. Any sanitizer report,
# and any leak left at exit, fails.
#
# Leaks inside fontconfig's parsing of its configuration files are not the
# program's and are suppressed (tests/data/lsan_system.supp); the summary of
# what was suppressed is printed.
set -uo pipefail
game=$(realpath "$1")
scratch=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
data=$source_dir/tests/data
assets=$(dirname "$game")/run
mkdir -p "$scratch" && cd "$scratch" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$assets/.asset-list" ] || { echo "FAIL: no generated assets in $assets"; exit 1; }
# The files of the asset set, by the generator's list: the folder also holds
# what a game played there left behind.
copy_assets() { tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }
for tool in ninja convert compare; do
  command -v "$tool" > /dev/null || { echo "SKIPPED: $tool is missing"; exit 0; }
done

source "$source_dir/tests/support/sanitizers.sh"
sanitized_build OFF ballistor

# The title's round number in capture $1 is the reference $2.
crop_is() {
  local got
  got=$(convert "$1" -crop 26x20+374+298 +repage png:- | compare -metric AE - "$2" null: 2>&1)
  [ "$got" = 0 ]
}

# Plays script $2 in a fresh copy of the assets in folder $1 (user.data $3
# when given) and checks that no sanitizer spoke.
play() {
  local dir=$1 script=$2 progress=${3:-} code
  rm -rf "$dir" && mkdir -p "$dir" && copy_assets "$dir"
  [ -n "$progress" ] && printf '%b' "$progress" > "$dir/user.data"
  start=$(date +%s)
  (cd "$dir" && TESSEL_INPUT="$script" timeout 600 "$build/ballistor" > stdout.txt 2> stderr.txt)
  code=$?
  echo "$dir: $(($(date +%s) - start)) s, exit code $code"
  [ "$code" -eq 0 ] || fail "$dir: exit code $code"
  if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' "$dir/stderr.txt"; then
    fail "$dir: sanitizer report"
    cat "$dir/stderr.txt"
  fi
  # What the suppressions hid, so that a new leak in a system library is seen.
  sed -n '/Suppressions used:/,/^-*$/p' "$dir/stderr.txt"
}

play round14 "$data/game_round14.txt" '\x0e\x00\x00\x00'
# The game really went through: round 15 reached and the title shown again.
stored=$(od -An -t d4 round14/user.data | tr -d ' ')
[ "$stored" = 15 ] || fail "round14: user.data holds \"$stored\", not 15"
crop_is round14/title_15.png "$data/game_round_15.png" || fail "round14: the title does not offer round 15"

play over "$data/game_over.txt"
crop_is over/title_again.png "$data/game_round_01.png" || fail "over: the title was not reached again"

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "sanitizers: no report, no leak"
