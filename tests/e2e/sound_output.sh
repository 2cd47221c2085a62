#!/usr/bin/env bash
# The game's music reaches the sound output: on the headless platform, in the
# WAVE file named by TESSEL_AUDIO_OUT; on the desktop platform under a
# virtual X server, through SDL's "disk" audio driver into its output file.
# Either way the music must come out looping from its first sample; without
# a sound device (SDL's "dummy" driver) the game runs silent and ends normally.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
game=$(realpath "$1")
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
log_utf8() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt"; }

if ! command -v sox > /dev/null && [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y sox > apt.log 2>&1
fi
command -v sox > /dev/null || { echo "SKIPPED: sox is missing (apt-get install sox)"; exit 0; }

# The game's own music when its working folder has it, else one made here.
assets=$(dirname "$game")/run
mkdir -p music/wav
if [ -f "$assets/wav/Music01.wav" ]; then
  cp "$assets/wav/Music01.wav" music/wav/Music01.wav
else
  sox -n -r 44100 -c 2 -b 16 music/wav/Music01.wav synth 0.3 sine 300 sine 470
fi
music=music/wav/Music01.wav
# An exact comparison needs the mixer to pass the music through unchanged.
exact=0
if [ "$(soxi -r "$music")" = 44100 ] && [ "$(soxi -c "$music")" = 2 ] &&
   [ "$(soxi -b "$music")" = 16 ] && soxi -e "$music" | grep -c "Signed Integer PCM"; then
  exact=1
  sox "$music" -t raw music.raw
fi

# Offset of the first non-zero byte of file $1 (its size when there is none).
first_sound() { od -An -tu1 -v -w1 "$1" | awk '$1 != 0 { print NR - 1; found = 1; exit } END { if (!found) print NR }'; }

# Checks raw stereo 16-bit output $1 (name $2) for the music, $3 loops of it.
check_music() {
  local out=$1 name=$2 loops=$3 length start i
  if [ "$exact" -eq 0 ]; then
    local level
    level=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$out" -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
    awk -v l="${level:-0}" 'BEGIN { exit !(l > 0.001) }' || fail "$name: the output is silent"
    return
  fi
  length=$(stat -c %s music.raw)
  start=$(( $(first_sound "$out") - $(first_sound music.raw) ))
  [ "$start" -ge 0 ] || { fail "$name: no music in the output"; return; }
  for i in $(seq 0 $((loops - 1))); do
    if ! cmp -s -n "$length" -i "$((start + i * length)):0" "$out" music.raw; then
      fail "$name: loop $i of the music differs from the file"
      return
    fi
  done
}

# --- Headless: the mix in virtual time, written as a WAVE file.
cp -r music headless
(cd headless && printf '2000 down ESCAPE\n' > input.txt &&
 TESSEL_PLATFORM=headless TESSEL_INPUT=input.txt TESSEL_AUDIO_OUT=out.wav timeout 60 "$game" \
   > stdout.txt 2> stderr.txt)
code=$?
[ "$code" -eq 0 ] || fail "headless: exit code $code"
if [ "$(head -c 4 headless/out.wav)" != RIFF ]; then
  fail "headless: out.wav is not a WAVE file"
else
  [ "$(soxi -r headless/out.wav)" = 44100 ] || fail "headless: out.wav is not at 44100 Hz"
  sox headless/out.wav -t raw headless/out.raw
  check_music headless/out.raw headless 3
fi

# --- Without a device: silent, and still a normal run.
cp -r music silent
(cd silent && printf '1000 down ESCAPE\n' > input.txt &&
 SDL_AUDIODRIVER=dummy TESSEL_PLATFORM=sdl SDL_VIDEODRIVER=dummy TESSEL_INPUT=input.txt \
   timeout 20 "$game" > stdout.txt 2> stderr.txt &
 pid=$!; sleep 3; kill -TERM "$pid" 2> /dev/null; wait "$pid")
log_utf8 silent | grep -c '初期化に失敗しました' || fail "silent: the missing device was not logged"
log_utf8 silent | grep -c 'ソフトをエラー終了します' && fail "silent: the game ended in error"

# --- Desktop: SDL's audio thread feeds the disk driver.
if ! command -v Xvfb > /dev/null || ! command -v xdotool > /dev/null; then
  echo "SKIPPED (desktop part): Xvfb or xdotool missing"
else
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> display.txt > xvfb.log 2>&1 &
  xvfb=$!
  game_pid=""
  trap '[ -n "$game_pid" ] && kill "$game_pid" 2> /dev/null; kill "$xvfb" 2> /dev/null; wait 2> /dev/null' EXIT
  for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
  display_number=$(tr -d '[:space:]' < display.txt)
  cp -r music desktop
  (cd desktop && DISPLAY=":$display_number" TESSEL_PLATFORM=sdl TESSEL_WINDOWED=1 \
     SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$PWD/out.raw" exec "$game" > stdout.txt 2> stderr.txt) &
  game_pid=$!
  window=$(DISPLAY=":$display_number" timeout 15 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n 1)
  if [ -z "$window" ]; then
    fail "desktop: no window within 15 s"
  else
    DISPLAY=":$display_number" xdotool windowfocus --sync "$window"
    # Three loops of the music and a little more, in real time.
    want=$(( $(stat -c %s music.raw 2> /dev/null || echo 176400) * 3 + 88200 ))
    for _ in $(seq 200); do
      [ "$(stat -c %s desktop/out.raw 2> /dev/null || echo 0)" -ge "$want" ] && break
      sleep 0.1
    done
    kill -TERM "$game_pid"
    wait "$game_pid"
    code=$?
    game_pid=""
    [ "$code" -eq 0 ] || fail "desktop: exit code $code"
    [ -s desktop/out.raw ] || fail "desktop: the disk driver wrote nothing"
    check_music desktop/out.raw desktop 3
    log_utf8 desktop | grep -c 'DirectSound の初期化は正常に終了しました' || fail "desktop: no sound device"
  fi
fi

finish "sound output"
