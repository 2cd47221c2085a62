#!/usr/bin/env bash
# Runs one example headless with a scripted input and checks what it drew
# (its captured frame) and, for the player, what it sounded.
# Usage: bash check_example.sh NAME BINARY SCRATCH
set -uo pipefail
name=$1
program=$(realpath "$2")
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in convert sox lame; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (bash tools/setup.sh installs it)"; exit 1; }
done

# Runs the program with script text $1 and arguments; sets $code.
run() {
  printf '%s\n' "$1" > input.txt
  shift
  TESSEL_INPUT=input.txt timeout 60 "$program" "$@" > stdout.txt 2> stderr.txt
  code=$?
}
pixel() { convert "$1" -depth 8 -format "%[pixel:p{$2,$3}]" info:; }
# Pixels of colour $2 (#RRGGBB) in the WxH+X+Y area $3 of image $1.
count() { convert "$1" -crop "$3" +repage -depth 8 txt:- | grep -c -i "$2"; }
# "X Y W H" of the white pixels below the first 40 rows (the help line).
white_box() {
  convert "$1" -crop 640x440+0+40 +repage -fill black +opaque white -format %@ info: |
    awk -F'[x+]' '{ print $3, $4 + 40, $1, $2 }'
}

case $name in
hello_text)
  run "500 capture hello.png
600 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  # The gold of both large lines, Latin then Japanese, and the white help line.
  [ "$(count hello.png '#FFD23C' 300x60+30+110)" -gt 200 ] || fail "no gold \"hello\""
  [ "$(count hello.png '#FFD23C' 300x60+30+190)" -gt 400 ] || fail "no gold Japanese line"
  [ "$(count hello.png '#FFFFFF' 300x30+30+30)" -gt 50 ] || fail "no white help line"
  # Five full-width characters are about as wide as they are tall, each.
  read -r _ _ width _ < <(convert hello.png -crop 400x60+0+190 +repage -fill black +opaque '#FFD23C' \
    -format %@ info: | awk -F'[x+]' '{ print $3, $4, $1, $2 }')
  [ "${width:-0}" -ge 200 ] && [ "${width:-0}" -le 260 ] || fail "Japanese line is ${width:-0} px wide"
  # The examples' strings are UTF-8, and so is their log, from its first
  # line, which says so, to its last byte, the library's own lines included.
  iconv -f UTF-8 -t UTF-8 AppLog.txt > /dev/null || fail "AppLog.txt is not valid UTF-8"
  [ "$(head -n 1 AppLog.txt)" = "このログは UTF-8 で書かれています" ] || fail "first log line: $(head -n 1 AppLog.txt)"
  grep -q "文字コードバッファの初期化を行います" AppLog.txt || fail "the library's own lines are not in the log"
  ;;
meshes)
  TESSEL_GPU=1 run "400 capture meshes.png
500 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  if grep -q "描画機能を使用します" AppLog.txt; then
    # The red ball on the left, the checked cube's blue and gold, the sprites.
    [ "$(count meshes.png '#000000' 640x480+0+0)" -gt 1000 ] || fail "no background"
    [ "$(convert meshes.png -crop 120x160+60+120 +repage -fx 'r>0.6&&g<0.45' -format '%[fx:mean*w*h]' info:)" != 0 ] || fail "no ball"
    [ "$(convert meshes.png -crop 140x200+400+100 +repage -fx 'b>0.6&&r<0.3' -format '%[fx:mean*w*h]' info:)" != 0 ] || fail "no checked cube"
  fi
  ;;
sprites)
  run "300 capture start.png
400 down RIGHT
800 up RIGHT
900 capture right.png
950 down DOWN
1000 up DOWN
1100 capture down.png
1200 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  read -r x0 y0 w0 h0 < <(white_box start.png)
  read -r x1 _ w1 h1 < <(white_box right.png)
  read -r _ _ w2 h2 < <(white_box down.png)
  # The ship starts in the middle pointing right, moves right, turns down.
  [ "$((x0 + w0 / 2 - 320))" -ge -20 ] && [ "$((x0 + w0 / 2 - 320))" -le 20 ] || fail "ship not centred"
  [ "$w0" -gt "$h0" ] || fail "ship does not point right at the start (${w0}x$h0)"
  [ "$((x1 - x0))" -ge 50 ] || fail "ship moved $((x1 - x0)) px right"
  [ "$h2" -gt "$w2" ] || fail "ship did not turn down (${w2}x$h2)"
  # The colour key leaves no black; the glow tints the floor below the ship.
  [ "$(count start.png '#000000' 640x480+0+0)" -eq 0 ] || fail "black key pixels drawn"
  glow=$(pixel start.png 320 $((y0 + h0 + 8)))
  [[ $glow =~ ([0-9]+),([0-9]+),([0-9]+) ]] || fail "cannot read $glow"
  [ "${BASH_REMATCH[1]:-0}" -gt "$((${BASH_REMATCH[3]:-0} + 20))" ] || fail "no glow under the ship ($glow)"
  ;;
sound_player)
  # Three half-second tones, one per format, told apart by their pitch.
  sox -n -r 44100 -c 2 -b 16 tone.wav synth 0.5 sine 300 vol 0.5
  sox -n -r 44100 -c 2 tone.ogg synth 0.5 sine 1000 vol 0.5
  sox -n -r 44100 -c 2 -b 16 mp3.wav synth 0.5 sine 3000 vol 0.5 && lame --quiet mp3.wav tone.mp3
  export TESSEL_AUDIO_OUT=out.wav
  run "400 capture player.png" tone.wav tone.ogg tone.mp3
  [ "$code" -eq 0 ] || fail "exit code $code"
  [ "$(grep -c '^playing ' stdout.txt)" -eq 3 ] || fail "not every file was played: $(cat stdout.txt)"
  [ "$(count player.png '#FFFFFF' 300x30+10+10)" -gt 50 ] || fail "no file name on screen"
  sox out.wav -t dat -c 1 out.dat
  # The sound starts at the first non-zero sample; each tone's pitch is read
  # from its zero crossings in the middle of its half second.
  awk '!/^;/ { t = $1; v = $2
         if (start == "" && v != 0) start = t
         if (start == "") next
         seg = int((t - start) / 0.5); pos = t - start - seg * 0.5
         if (pos < 0.1 || pos > 0.4 || seg > 2) { prev = ""; next }
         if (prev != "" && (prev < 0) != (v < 0)) cross[seg]++
         prev = v }
       END { for (i = 0; i < 3; i++) print cross[i] / 2 / 0.3 }' out.dat > pitch.txt
  expected=(300 1000 3000)
  i=0
  while read -r hz; do
    want=${expected[$i]}
    awk -v h="$hz" -v w="$want" 'BEGIN { exit !(h > w * 0.95 && h < w * 1.05) }' ||
      fail "tone $((i + 1)) is ${hz} Hz, not $want"
    i=$((i + 1))
  done < pitch.txt
  # A file that is not sound is reported and the exit code says so.
  printf 'not a sound\n' > note.txt
  unset TESSEL_AUDIO_OUT
  run "" note.txt
  [ "$code" -eq 1 ] || fail "unplayable file: exit code $code"
  grep -q 'note.txt' stderr.txt || fail "unplayable file not reported"
  ;;
downloader)
  # From the tests' loopback server; its port is its first line of output,
  # and it ends when its input closes.
  coproc SERVER { exec python3 "$(dirname "$(realpath "$0")")/../tests/support/http_server.py" --life 120; }
  read -r port <&"${SERVER[0]}"
  [ -n "$port" ] || { echo "FAIL: the test server did not start"; exit 1; }
  # Virtual time runs far ahead of the real transfer: the capture comes late.
  run "40000 capture done.png
40100 down ESCAPE" "http://127.0.0.1:$port/bytes/300000" got.bin
  [ "$code" -eq 0 ] || fail "exit code $code"
  [ "$(stat -c %s got.bin 2>/dev/null)" = 300000 ] || fail "got.bin is not 300000 bytes"
  grep -q '^saved 300000 bytes to got.bin (HTTP 200)' stdout.txt || fail "no report: $(cat stdout.txt)"
  # The whole bar is green; the sizes and the result are written in white.
  [ "$(count done.png '#3CC85A' 560x24+40+120)" -eq 13440 ] || fail "the bar is not full"
  [ "$(count done.png '#FFFFFF' 560x30+40+165)" -gt 100 ] || fail "no size line"
  [ "$(count done.png '#FFFFFF' 560x30+40+275)" -gt 50 ] || fail "no result line"
  # A missing page ends with code 1 and keeps no file; a non-URL is refused.
  run "300 down ESCAPE" "http://127.0.0.1:$port/missing" missing.bin
  [ "$code" -eq 1 ] || fail "404: exit code $code"
  [ ! -e missing.bin ] || fail "the 404 page was saved"
  run "" "not a url"
  [ "$code" -eq 2 ] || fail "bad URL: exit code $code"
  grep -q 'not a URL' stderr.txt || fail "bad URL not reported"
  exec {SERVER[1]}>&-
  wait "$SERVER_PID"
  ;;
name_entry)
  # "山田" committed, "たろう" composing with its cursor after "た", then
  # "太郎" committed; the age field keeps only the digits of "4x2".
  run "300 text 山田
400 compose 1 たろう
500 capture composing.png
600 compose 0
650 text 太郎
700 down RETURN
800 text 4x2
900 down RETURN
1000 capture done.png
1100 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  [ "$(cat stdout.txt)" = "name: 山田太郎
age: 42" ] || fail "entries: $(cat stdout.txt)"
  # The composition's cyan underline, one row below the 16-pixel line.
  [ "$(count composing.png '#00FFFF' 200x3+180+115)" -ge 30 ] || fail "no underlined composition"
  [ "$(count done.png '#FFD23C' 300x30+30+215)" -gt 50 ] || fail "no greeting line"
  ;;
movie_player)
  # One second of red, then one of blue, with a tone; the movie starts when
  # the library is up, a little after the script's time 0.
  command -v ffmpeg > /dev/null || { echo "FAIL: ffmpeg is missing (bash tools/setup.sh installs it)"; exit 1; }
  ffmpeg -v error -f lavfi -i color=c=red:s=160x120:r=25:d=1 -f lavfi -i color=c=blue:s=160x120:r=25:d=1 \
    -f lavfi -i sine=frequency=500:duration=2 -filter_complex '[0:v][1:v]concat=n=2:v=1:a=0[v]' \
    -map '[v]' -map 2:a -c:v libx264 -pix_fmt yuv420p -c:a aac clip.mp4 || fail "cannot make the clip"
  export TESSEL_AUDIO_OUT=out.wav
  run "900 capture red.png
1800 capture blue.png
1900 down ESCAPE" clip.mp4
  [ "$code" -eq 0 ] || fail "exit code $code"
  # The 160 x 120 picture is fitted to the 640 x 420 area: 560 x 420 in the middle.
  for at in "45 5" "320 210" "595 415"; do
    [[ $(pixel red.png $at) =~ \(2[0-9][0-9],[0-9],[0-9]\) ]] || fail "not red at $at: $(pixel red.png $at)"
    [[ $(pixel blue.png $at) =~ \([0-9],[0-9],2[0-9][0-9]\) ]] || fail "not blue at $at: $(pixel blue.png $at)"
  done
  [[ $(pixel red.png 20 200) =~ \(0,0,0\) ]] || fail "the picture is not fitted: $(pixel red.png 20 200)"
  [ "$(count blue.png '#FFFFFF' 200x30+440+435)" -gt 20 ] || fail "no time shown"
  level=$(sox out.wav -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
  awk -v l="${level:-0}" 'BEGIN { exit !(l > 0.05) }' || fail "no sound (RMS ${level:-none})"
  unset TESSEL_AUDIO_OUT
  printf 'not a movie\n' > note.txt
  run "" note.txt
  [ "$code" -eq 1 ] || fail "unplayable file: exit code $code"
  grep -q 'note.txt' stderr.txt || fail "unplayable file not reported"
  ;;
shapes_and_blends)
  run "300 capture shot.png
400 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  # The filled rectangle is exactly its 120 x 70 pixels; outlines are hollow.
  [ "$(count shot.png '#FF8C00' 640x480+0+0)" -eq 8400 ] || fail "orange rectangle not 120 x 70"
  [[ $(pixel shot.png 220 135)$(pixel shot.png 220 185) =~ \(255,230,0\).*\(30,30,50\) ]] || fail "no hollow circle"
  [[ $(pixel shot.png 80 320) =~ \(0,200,255\) ]] || fail "no cyan triangle"
  # Fading steps darken; the glow adds up; the tint and the band show.
  last=256
  for x in 345 405 465 525; do
    [[ $(pixel shot.png $x 66) =~ \(([0-9]+), ]] && [ "${BASH_REMATCH[1]}" -lt "$last" ] || fail "no fade at $x"
    last=${BASH_REMATCH[1]:-0}
  done
  [[ $(pixel shot.png 400 240) =~ \(255,2[0-9][0-9],1[0-9][0-9]\) ]] || fail "no glow: $(pixel shot.png 400 240)"
  [[ $(pixel shot.png 540 200) =~ \(255,90,90\) ]] || fail "no tinted ship: $(pixel shot.png 540 200)"
  [[ $(pixel shot.png 10 415) =~ \(17,17,28\) ]] || fail "no translucent band: $(pixel shot.png 10 415)"
  # The mirrored ship points left: broad at its right end, its tip at the left.
  [[ $(pixel shot.png 495 315)$(pixel shot.png 448 318) =~ \(255,255,255\).*\(60,60,90\) ]] ||
    fail "ship not mirrored"
  ;;
*) echo "unknown example $name"; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then echo "$name: $failures failure(s)"; exit 1; fi
echo "$name: all checks passed"
