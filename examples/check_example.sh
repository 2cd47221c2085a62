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
  ;;
meshes)
  TESSEL_GPU=1 run "400 capture meshes.png
500 down ESCAPE"
  [ "$code" -eq 0 ] || fail "exit code $code"
  if grep -q "描画機能を使用します" <(iconv -f CP932 -t UTF-8 AppLog.txt); then
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
*) echo "unknown example $name"; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then echo "$name: $failures failure(s)"; exit 1; fi
echo "$name: all checks passed"
