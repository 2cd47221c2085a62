#!/usr/bin/env bash
# Whole games of Ballistor on the headless platform, driven by the input
# scripts tests/data/game_*.txt on the virtual clock: a hit on the base in
# round 1, a game lost by spending every charge, round 14 cleared with
# "Congratulations!", Escape during a flight, closing the window on the title
# and on the game-over screen, and every file of the asset set missing in
# turn.
#
# With BALLISTOR_SCREENS naming a folder, the captures shown in the README
# are copied there.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
game=$(realpath "$1")
scratch=$2
data=$(cd "$(dirname "$0")/../data" && pwd)
assets=$(dirname "$game")/run
source "$(dirname "$0")/../support/checks.sh"
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_AUDIO_OUT

for tool in convert compare identify iconv; do
  command -v "$tool" > /dev/null || { echo "SKIPPED: $tool is missing (install imagemagick)"; exit 0; }
done
[ -f "$assets/.asset-list" ] || { echo "FAIL: no generated assets in $assets"; exit 1; }
# The files of the asset set, by the generator's list: the folder also holds
# what a game played there left behind.
copy_assets() { tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }

# Play from a working folder someone has already played in: its log and
# progress must not leak into the runs below.
mkdir -p played && cp -r "$assets"/. played/ || exit 1
printf 'from an earlier game\r\n' > played/AppLog.txt
printf '\x14\x00\x00\x00' > played/user.data
assets=$PWD/played

# A fresh working folder $1 holding the whole asset set.
prepare() {
  rm -rf "$1" && mkdir -p "$1" && copy_assets "$1"
}

# Runs the game in folder $1 with the input script file $2; sets $code.
run_in() {
  (cd "$1" && TESSEL_INPUT="$2" timeout 120 "$game" > stdout.txt 2> stderr.txt)
  code=$?
  [ "$code" -ne 124 ] || fail "$1: the game was still running after 120 s"
}

# The lines of script $1 due before $2 ms, then the extra lines in $3.
script_until() {
  awk -v end="$2" '/^[0-9]/ && $1 + 0 >= end + 0 { exit } { print }' "$1"
  printf '%s\n' "$3"
}

# The log without time stamps and without the free-memory report, which
# follows the machine rather than the program.
log_body() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt" | sed -E 's/^[0-9]+://' | grep -v 'メモリ総量'; }
# The time stamp of the log's last line.
log_end_ms() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt" | tail -n 1 | cut -d: -f1; }

# Pixels that differ between two captures, as the box around them
# (WxH+X+Y), or "none". The black frame gives the trim a background even when
# every pixel differs.
diff_box() {
  local box
  if cmp -s "$1" "$2"; then echo none; return; fi
  box=$(convert "$1" "$2" -compose difference -composite -threshold 0 \
    -bordercolor black -border 1 -format '%@' info: 2> /dev/null)
  case $box in
    0x0*) echo none ;;
    *) echo "$box" | awk -F'[x+]' '{ printf "%sx%s+%d+%d\n", $1, $2, $3 - 1, $4 - 1 }' ;;
  esac
}
same_picture() { [ "$(diff_box "$1" "$2")" = none ]; }

# Region $2 (WxH+X+Y) of capture $1 is pixel for pixel the reference $3.
crop_is() {
  local got
  got=$(convert "$1" -crop "$2" +repage png:- | compare -metric AE - "$3" null: 2>&1)
  [ "$got" = 0 ]
}

# Pure white pixels, the game's text colour, in region $2 of capture $1.
white_in() { convert "$1" -crop "$2" +repage -fill black +opaque white -format '%[fx:round(mean*w*h)]' info:; }

# Text appeared in region $3: capture $2 has at least 300 more white pixels
# there than the earlier capture $1.
text_appeared() {
  local before after
  before=$(white_in "$1" "$3")
  after=$(white_in "$2" "$3")
  [ $((after - before)) -ge 300 ]
}

# Run $2 ended with code 0 between $3 and $3 + 100 ms of the clock; $1 names
# the case.
ended_at() {
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
  end=$(log_end_ms "$2")
  [ "${end:-0}" -ge "$3" ] && [ "$end" -lt $(($3 + 100)) ] || fail "$1: the program ended at $end ms"
}

# Every capture the round 1 script takes, as in the hit run, for run $1; $2
# names the case.
captures="title round_start before aiming flight blast after"
captures_as_hit() {
  local c
  for c in $captures; do
    same_picture "hit/$c.png" "$1/$c.png" || fail "$2: $c differs from the hit run"
  done
}

# HUD number boxes, inside their frames: life at (600, 443), shots at
# (497, 460); the title's round number after "ROUND SELECT".
life_box=30x15+597+441
shots_box=20x15+496+458
round_box=26x20+374+298

# --- Round 1: a hit on the base takes its life from 100 to 90.
prepare hit
run_in hit "$data/game_hit.txt"
[ "$code" -eq 0 ] || fail "hit: exit code $code"
crop_is hit/title.png "$round_box" "$data/game_round_01.png" || fail "hit: the title does not offer round 01"
# The round screen: its two lines of text on black, nothing else.
convert hit/round_start.png -crop 180x45+240+225 +repage -format '%[fx:maxima]' info: | grep -cx 1 \
  || fail "hit: no \"ROUND 1\" on the round screen"
convert hit/round_start.png -crop 190x30+410+395 +repage -format '%[fx:maxima]' info: | grep -cx 1 \
  || fail "hit: no \"...NOW LOADING\" on the round screen"
outside=$(convert hit/round_start.png -fill black -draw 'rectangle 240,225 419,269' \
  -draw 'rectangle 410,395 599,424' -format '%[fx:maxima]' info:)
[ "$outside" = 0 ] || fail "hit: the round screen shows more than its text"
crop_is hit/before.png "$life_box" "$data/game_life_100.png" || fail "hit: life is not 100 before the shot"
crop_is hit/before.png "$shots_box" "$data/game_shots_20.png" || fail "hit: shots are not 20 before the shot"
crop_is hit/after.png "$life_box" "$data/game_life_90.png" || fail "hit: life is not 90 after the shot"
crop_is hit/after.png "$shots_box" "$data/game_shots_19.png" || fail "hit: shots are not 19 after the shot"
[ ! -e hit/user.data ] || fail "hit: user.data written although round 1 is no progress"

# --- Escape while the shell flies: the program ends at once with 0.
prepare escape
script_until "$data/game_hit.txt" 3300 "3300 down ESCAPE" > escape/input.txt
run_in escape input.txt
ended_at "escape in flight" escape 3300
same_picture hit/flight.png escape/flight.png || fail "escape in flight: the shot was not in flight"
log_body escape | grep -c 'ソフトを終了する準備が整いました' || fail "escape in flight: no orderly end"

# --- Closing the window while the title shows: the program ends at once
# with 0.
prepare close_title
printf '1000 capture title.png\n1500 close\n' > close_title/input.txt
run_in close_title input.txt
ended_at "close on title" close_title 1500
same_picture hit/title.png close_title/title.png || fail "close on title: the title was not showing"
log_body close_title | grep -c 'ウインドウを閉じようとしています' || fail "close on title: the window was not closed"

# --- Every charge spent: the game-over screen, a key, the title again.
prepare over
run_in over "$data/game_over.txt"
[ "$code" -eq 0 ] || fail "game over: exit code $code"
text_appeared over/before_over.png over/game_over.png 220x45+195+145 || fail "game over: no \"CHARGE EMPTY\""
text_appeared over/before_over.png over/game_over.png 170x45+220+235 || fail "game over: no \"GAME OVER\""
same_picture over/title.png over/title_again.png || fail "game over: the key did not lead back to the title"

# --- Closing the window on the game-over screen, which waits for a key.
prepare close_over
script_until "$data/game_over.txt" 22600 "22600 close" > close_over/input.txt
run_in close_over input.txt
ended_at "close on game over" close_over 22600
same_picture over/game_over.png close_over/game_over.png || fail "close on game over: not on the game-over screen"

# --- Round 14 from a user.data of 14, cleared: "Congratulations!" and 15.
prepare round14
printf '\x0e\x00\x00\x00' > round14/user.data
run_in round14 "$data/game_round14.txt"
[ "$code" -eq 0 ] || fail "round 14: exit code $code"
crop_is round14/title_14.png "$round_box" "$data/game_round_14.png" || fail "round 14: Up did not stop at 14"
text_appeared round14/last_aim.png round14/round_clear.png 200x45+205+195 || fail "round 14: no \"ROUND CLEAR\""
text_appeared round14/round_clear.png round14/bonus.png 420x45+85+245 || fail "round 14: no bonus line"
text_appeared round14/bonus.png round14/congratulations.png 290x35+175+175 \
  || fail "round 14: no \"Congratulations!\""
text_appeared round14/bonus.png round14/congratulations.png 200x35+215+215 || fail "round 14: no score line"
stored=$(od -An -t d4 round14/user.data | tr -d ' ')
[ "$(stat -c %s round14/user.data)" = 4 ] && [ "$stored" = 15 ] || fail "round 14: user.data holds \"$stored\", not 15"
[ ! -e round14/user.data.tmp ] || fail "round 14: the temporary progress file was left behind"
crop_is round14/title_again.png "$round_box" "$data/game_round_01.png" || fail "round 14: not back on the title at round 01"
crop_is round14/title_15.png "$round_box" "$data/game_round_15.png" || fail "round 14: the title does not offer 15"

# --- The same game recorded, then played back from the recording alone: the
# replay reaches the same round, stores the same progress, logs the same.
prepare recorded14 && prepare replayed14
printf '\x0e\x00\x00\x00' | tee recorded14/user.data > replayed14/user.data
(cd recorded14 && TESSEL_RECORD=s.rec TESSEL_INPUT="$data/game_round14.txt" timeout 120 "$game" > /dev/null 2>&1)
cp recorded14/s.rec replayed14/ && run_in replayed14 s.rec
[ "$(od -An -t d4 replayed14/user.data | tr -d ' ')" = 15 ] && cmp -s recorded14/user.data replayed14/user.data ||
  fail "round 14 replayed: user.data differs from the recorded run's"
diff <(log_body recorded14) <(log_body replayed14) > /dev/null || fail "round 14 replayed: the log differs"
[ ! -s replayed14/stderr.txt ] || fail "round 14 replayed: $(cat replayed14/stderr.txt)"

# --- Each file of the asset set missing in turn, with the round 1 script:
# the game still runs and ends with 0; a missing picture is logged by name
# and changes the captures only where that picture would be, a missing sound
# changes only the sound, and files that round 1 never loads change nothing.
# A missing terrain mask empties the grid but for the base, so the cannon
# cannot drive (the view does not follow it one pixel to the right) and the
# shot still hits. The "_a" alpha files, which only shape their pictures, are
# left out.
prepare sound_ref
(cd sound_ref && TESSEL_INPUT="$data/game_hit.txt" TESSEL_AUDIO_OUT=mix.wav timeout 120 "$game" > /dev/null 2>&1)
log_body hit > hit.log

# Checks folder $1, run without file $2 (a picture) that is $3 x $4 pixels.
check_missing_picture() {
  local dir=$1 file=$2 limit_w=$3 limit_h=$4 c box w h changed=0
  if [[ $file == data/PlayerGraph* ]]; then
    # Drawn rotated: the box may reach the picture's diagonal.
    limit_w=$(awk -v w="$3" -v h="$4" 'BEGIN { d = sqrt(w * w + h * h); print int(d) + 1 }')
    limit_h=$limit_w
  fi
  for c in $captures; do
    box=$(diff_box "hit/$c.png" "$dir/$c.png")
    [ "$box" = none ] && continue
    changed=1
    w=${box%%x*}
    h=${box#*x}; h=${h%%+*}
    [ "$w" -le "$limit_w" ] && [ "$h" -le "$limit_h" ] \
      || fail "without $file: $c changed over $box, more than the ${limit_w}x$limit_h picture"
  done
  # The start-up terrain and background are replaced before any frame shows,
  # and this script never shows the cannon facing left.
  case $file in
    Background/R101.png | Round/Obstacle.bmp | Round/ObstacleData.BMP | data/PlayerGraphLeft.png) ;;
    *) [ "$changed" -eq 1 ] || fail "without $file: every capture is as with it" ;;
  esac
}

while IFS= read -r file; do
  dir=missing_$(printf '%s' "$file" | tr '/.' '__')
  prepare "$dir"
  rm "$dir/$file"
  (cd "$dir" && TESSEL_INPUT="$data/game_hit.txt" TESSEL_AUDIO_OUT=mix.wav timeout 120 "$game" \
     > stdout.txt 2> stderr.txt)
  code=$?
  [ "$code" -eq 0 ] || { fail "without $file: exit code $code"; continue; }
  log_body "$dir" > "$dir.log"
  added=$(diff hit.log "$dir.log" | grep '^[<>]')
  # The terminal names the first missing file and the folder, for the files
  # round 1 loads.
  named=$(grep -c -F "cannot load \"${file//\//\\}\" in the working folder \"$PWD/$dir\"" "$dir/stderr.txt")
  case $file in
    Background/b0[2-4].jpg | Background/b101.png) [ "$named" = 0 ] || fail "without $file: named although never loaded" ;;
    data/Icon.png) [ "$named" = 0 ] || fail "without $file: the window's icon named as a missing asset" ;;
    *) [ "$named" = 1 ] || fail "without $file: not named on standard error: $(cat "$dir/stderr.txt")" ;;
  esac
  case $file in
    wav/*)
      [ "$added" = "> サウンドファイル ${file//\//\\} がありません" ] \
        || fail "without $file: the log differs by \"$added\""
      captures_as_hit "$dir" "without $file"
      cmp -s sound_ref/mix.wav "$dir/mix.wav" && fail "without $file: the sound output is unchanged"
      ;;
    Background/b0[2-4].jpg | Background/b101.png)
      [ -z "$added" ] || fail "without $file: the log changed: $added"
      captures_as_hit "$dir" "without $file"
      ;;
    data/Icon.png)
      # Only the window goes without its icon.
      [ "$added" = "> アイコンファイル ${file//\//\\} の読み込みに失敗しました" ] \
        || fail "without $file: the log differs by \"$added\""
      captures_as_hit "$dir" "without $file"
      ;;
    *)
      [ "$added" = "> グラフィックファイル ${file//\//\\} がありません" ] \
        || fail "without $file: the log differs by \"$added\""
      if [ "$file" = Round/R001data.png ]; then
        same_picture hit/before.png "$dir/before.png" && fail "without $file: the cannon still drove"
        crop_is "$dir/after.png" "$life_box" "$data/game_life_90.png" || fail "without $file: the base was not hit"
        crop_is "$dir/after.png" "$shots_box" "$data/game_shots_19.png" || fail "without $file: the shot did not end"
      else
        read -r pw ph < <(identify -format '%w %h\n' "$assets/$file" | head -n 1)
        check_missing_picture "$dir" "$file" "$pw" "$ph"
      fi
      ;;
  esac
done < <(grep -v '_a\.' "$assets/.asset-list")

# --- No assets at all: the game still runs and ends with 0, and one line on
# the terminal names the folder and the first file it lacks.
mkdir -p empty
run_in empty "$data/game_hit.txt"
[ "$code" -eq 0 ] || fail "no assets: exit code $code"
[ "$(grep -c . empty/stderr.txt)" = 1 ] && grep -c -F "cannot load \"data\\WindBackground.bmp\" in the working folder \"$PWD/empty\"" empty/stderr.txt \
  || fail "no assets: standard error says \"$(cat empty/stderr.txt)\""

# --- A log that cannot be written changes nothing in the run: the same
# script gives the same pictures.
prepare no_log
mkdir no_log/AppLog.txt
run_in no_log "$data/game_hit.txt"
[ "$code" -eq 0 ] || fail "unwritable log: exit code $code"
captures_as_hit no_log "unwritable log"

if [ -n "${BALLISTOR_SCREENS:-}" ]; then
  mkdir -p "$BALLISTOR_SCREENS"
  cp hit/title.png hit/round_start.png hit/aiming.png hit/flight.png hit/blast.png \
     round14/round_clear.png over/game_over.png "$BALLISTOR_SCREENS"/
fi

finish "game play"
