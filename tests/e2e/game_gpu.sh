#!/usr/bin/env bash
# The game on both drawing paths: round 1 played by the same script on the
# headless platform with TESSEL_GPU=0 and TESSEL_GPU=1, full screen on the
# game's 16-bit screen and in a window (TESSEL_WINDOWED=1), where the screen
# takes the desktop's 32 bits, and every capture (title, round start, aiming,
# flight, blast...) compared: at most 0.1 % of pixels may differ by more than
# 1 level of a 5- or 6-bit channel on the 16-bit screen (the path mixes
# alpha in 8 bits and rounds once), by more than 2 levels of 8 bits on the
# 32-bit one. Asked for the path where the device offers no GL 3.3, the
# game logs that it is not used and plays all the same. Under a virtual X
# server the desktop back end plays the round both ways, in both modes, the
# path really used where asked for, and its title, aiming, flight and blast
# frames are held to the same bounds; left to the default, the game names
# the software rasterizer there and keeps to the software path.
set -uo pipefail
game=$(realpath "$1")
scratch=$2
data=$(cd "$(dirname "$0")/../data" && pwd)
assets=$(dirname "$game")/run
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_AUDIO_OUT TESSEL_INPUT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in convert iconv; do
  command -v "$tool" > /dev/null || { echo "SKIPPED: $tool is missing (install imagemagick)"; exit 0; }
done
[ -f "$assets/.asset-list" ] || { echo "FAIL: no generated assets in $assets"; exit 1; }
prepare() { rm -rf "$1" && mkdir -p "$1" && tar -C "$assets" -cf - -T "$assets/.asset-list" | tar -C "$1" -xf -; }
used() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt" | grep -c '描画機能を使用します'; }
# Pixels of $1 and $2 that differ by more than the bound: at $3 = 16 bits
# by 2 levels or more of a 5-bit channel (16 of 8 bits; green, of 6 bits,
# counts twice), else by 3 levels or more.
far_pixels() {
  local scale=1 threshold=1%
  [ "$3" = 16 ] && scale=2 threshold=6%
  convert "$1" "$2" -compose difference -composite -channel G -evaluate multiply "$scale" \
    +channel -channel RGB -separate -evaluate-sequence max -threshold "$threshold" \
    -format '%[fx:round(mean*w*h)]' info:
}
# Fails unless captures $1 and $2 of a screen of $4 bits agree within the bound.
compare_frames() {
  local far limit
  far=$(far_pixels "$1" "$2" "$4")
  limit=$(convert "$1" -format '%[fx:int(w*h/1000)]' info:)
  [ -n "$far" ] && [ "$far" -le "$limit" ] || fail "$3: $far pixels differ beyond the bound (limit $limit)"
}
# The screen's bits in mode TESSEL_WINDOWED=$1: the game's 16, or the desktop's 32.
bits() { [ "$1" = 1 ] && echo 32 || echo 16; }

# --- Headless: the whole round, both ways, in both modes; the runs of
# TESSEL_WINDOWED=w and TESSEL_GPU=g play in folder wWgG.
for windowed in 0 1; do
  for gpu in 0 1; do
    run="w${windowed}g$gpu"
    prepare "$run"
    (cd "$run" && TESSEL_PLATFORM=headless TESSEL_WINDOWED=$windowed TESSEL_GPU=$gpu \
      TESSEL_INPUT="$data/game_hit.txt" timeout 120 "$game" > stdout.txt 2> stderr.txt)
    code=$?
    [ "$code" -eq 0 ] || fail "$run: exit code $code"
  done
  if [ "$(used "w${windowed}g1")" -eq 0 ]; then
    echo "SKIPPED: the GPU path cannot start here"
    # Left to the default on this software rasterizer: the log names it, the
# software path draws.
prepare xdefault
play xdefault 1 ""
iconv -f CP932 -t UTF-8 xdefault/AppLog.txt | grep -E '描画機能は使用しません \( .*(llvmpipe|softpipe|swrast).* : ' > /dev/null ||
  fail "desktop default: no line naming the software rasterizer and the software path"
[ "$(used xdefault)" -eq 0 ] || fail "desktop default used the GPU path on a software rasterizer"
exit $((failures > 0))
  fi
  [ "$(used "w${windowed}g0")" -eq 0 ] || fail "w${windowed}g0: TESSEL_GPU=0 still used the GPU path"
  for c in title round_start before aiming flight blast after; do
    a="w${windowed}g0/$c.png" b="w${windowed}g1/$c.png"
    [ -f "$a" ] && [ -f "$b" ] || { fail "w$windowed $c: a capture is missing"; continue; }
    compare_frames "$a" "$b" "w$windowed $c" "$(bits $windowed)"
  done
done

# --- The path asked for without GL 3.3: the log says so, the round plays.
prepare old_gl
(cd old_gl && TESSEL_PLATFORM=headless TESSEL_GPU=1 MESA_GL_VERSION_OVERRIDE=2.1 \
  TESSEL_INPUT="$data/game_hit.txt" timeout 120 "$game" > stdout.txt 2> stderr.txt)
code=$?
[ "$code" -eq 0 ] || fail "without GL 3.3: exit code $code"
iconv -f CP932 -t UTF-8 old_gl/AppLog.txt | grep '描画機能は使用しません' > /dev/null || fail "without GL 3.3: no \"not used\" line"
compare_frames w0g0/blast.png old_gl/blast.png "blast without GL 3.3" 32

# --- The desktop back end under a virtual X server, full screen on the
# 16-bit screen scaled up to the display and in a window on the 24-bit
# display's 32-bit pixels: the same round played both ways on a virtual
# clock, so that both runs see the same frames, and the display captured at
# the script's capture times.
clock=${VIRTUAL_CLOCK:-}
[ -f "$clock" ] || { echo "SKIPPED (desktop part): VIRTUAL_CLOCK does not name the clock library"; exit $((failures > 0)); }
for tool in Xvfb xdotool import; do
  command -v "$tool" > /dev/null || { echo "SKIPPED (desktop part): $tool is missing"; exit $((failures > 0)); }
done
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> display.txt > xvfb.log 2>&1 &
xvfb=$!
trap 'kill $xvfb 2> /dev/null; wait 2> /dev/null' EXIT
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '[:space:]' < display.txt)" TESSEL_PLATFORM=sdl
mapfile -t steps < <(grep -E '^[0-9]+ ' "$data/game_hit.txt")
stops=$(printf '%s\n' "${steps[@]}" | cut -d' ' -f1 | paste -sd,)
# Plays the script's steps: the game halts at each (see virtual_clock.cpp)
# while the key goes down or up or the screen is taken.
# Arguments: the folder, TESSEL_WINDOWED, TESSEL_GPU.
play() {
  local dir=$1 i t verb arg key pid window=""
  (cd "$dir" && LD_PRELOAD=$clock VIRTUAL_STOPS=$stops VIRTUAL_DIR=$PWD TESSEL_WINDOWED=$2 \
    TESSEL_GPU=$3 exec timeout 120 "$game" > stdout.txt 2> stderr.txt) &
  pid=$!
  for i in "${!steps[@]}"; do
    for _ in $(seq 1200); do [ "$(cat "$dir/stop" 2> /dev/null)" = "$i" ] && break; sleep 0.05; done
    [ "$(cat "$dir/stop" 2> /dev/null)" = "$i" ] || { fail "desktop $dir: no stop $i"; break; }
    [ -n "$window" ] || window=$(xdotool search --name '^Ballistor$' 2> /dev/null | head -n 1)
    read -r t verb arg <<< "${steps[$i]}"
    case $arg in SPACE) key=space ;; RIGHT) key=Right ;; ESCAPE) key=Escape ;; *) key=$arg ;; esac
    case $verb in
      capture) import -window root "$dir/$arg" 2> /dev/null ;;
      down | up) xdotool "key$verb" --window "$window" "$key"; sleep 0.2 ;;
    esac
    echo "$i" > "$dir/go"
  done
  wait $pid || fail "desktop $dir: exit code $?"
  # The script ends with Escape held: the next run would take it for its own.
  xdotool keyup Escape
}
for windowed in 0 1; do
  for gpu in 0 1; do
    prepare "xw${windowed}g$gpu"
    play "xw${windowed}g$gpu" $windowed $gpu
  done
  [ "$(used "xw${windowed}g0")" -eq 0 ] || fail "desktop xw${windowed}g0 used the GPU path"
  # The same driver runs headless above, so the desktop must start the path too.
  [ "$(used "xw${windowed}g1")" -eq 1 ] || fail "desktop xw${windowed}g1 did not use the GPU path"
  for c in title aiming flight blast; do
    a="xw${windowed}g0/$c.png" b="xw${windowed}g1/$c.png"
    [ -f "$a" ] && [ -f "$b" ] || { fail "desktop w$windowed $c: a capture is missing"; continue; }
    compare_frames "$a" "$b" "desktop w$windowed $c" "$(bits $windowed)"
  done
done
# Left to the default on this software rasterizer: the log names it, the
# software path draws.
prepare xdefault
play xdefault 1 ""
iconv -f CP932 -t UTF-8 xdefault/AppLog.txt | grep -E '描画機能は使用しません \( .*(llvmpipe|softpipe|swrast).* : ' > /dev/null ||
  fail "desktop default: no line naming the software rasterizer and the software path"
[ "$(used xdefault)" -eq 0 ] || fail "desktop default used the GPU path on a software rasterizer"
exit $((failures > 0))
