#!/usr/bin/env bash
# Whole-program runs of the game on the headless platform: Escape, closing
# the window, a second copy, close signals (and on the desktop back end),
# the idle limit, and a malformed input script.
set -uo pipefail
game=$1
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_HEADLESS_IDLE_MS
log_utf8() { iconv -f CP932 -t UTF-8 "$1/AppLog.txt"; }

# Runs the game in folder $1 with script text $2; sets $code.
run_in() {
  mkdir -p "$1"
  printf '%s\n' "$2" > "$1/input.txt"
  (cd "$1" && TESSEL_INPUT=input.txt timeout 60 "$game" > stdout.txt 2> stderr.txt)
  code=$?
}

# Every line in $2 (one pattern a line) appears in the log of $1, in order.
expect_in_order() {
  local log line pos=0 at
  log=$(log_utf8 "$1")
  while IFS= read -r line; do
    [ -z "$line" ] && continue
    at=$(printf '%s\n' "$log" | grep -n -F -- "$line" | cut -d: -f1 | awk -v p="$pos" '$1 > p {print; exit}')
    if [ -z "$at" ]; then fail "$1: \"$line\" missing or out of order"; return; fi
    pos=$at
  done <<< "$2"
}

# --- Escape at 2000 ms ends the program with code 0 and a complete log.
run_in escape "2000 down ESCAPE"
[ "$code" -eq 0 ] || fail "escape: exit code $code"
expect_in_order escape "
システムの情報を出力します
ＴＥＳＳＥＬライブラリ Ver
ＣＰＵ動作速度：
ＣＯＭの初期化... 成功しました
ソフトの２重起動検査... ２重起動はされていませんでした
メモリ総量:
ウインドウクラスを登録します... 登録に成功しました
フルスクリーンモード用のウインドウを作成します
カーソルを不可視にしました
タイマーの精度を検査します
精度結果 更新回数 マルチメディアタイマー：
パフォーマンスカウンターを使用します
DirectInput関係初期化処理
文字コードバッファの初期化を行います... 完了しました
ウインドウを閉じようとしています
ウインドウが破棄されようとしています
ソフトを終了する準備が整いました
ＣＯＭを終了... 完了"
# Every line carries its time stamp; the system report is indented one level.
# (grep reads a saved copy: with pipefail, grep -q ending a pipe early would
# count as a failure of the pipe.)
log=$(log_utf8 escape)
if [ -n "$(grep -v -E '^[0-9]+:' <<< "$log")" ]; then fail "escape: a line without a time stamp"; fi
grep -q -P '^[0-9]+:\tＣＰＵ名：' <<< "$log" || fail "escape: system report not indented"
grep -q -P '^[0-9]+:システムの情報を出力します' <<< "$log" || fail "escape: report header indented"

# --- Closing the window on the title screen: code 0.
run_in close "1000 close"
[ "$code" -eq 0 ] || fail "close: exit code $code"
expect_in_order close "
ウインドウを閉じようとしています
ソフトを終了する準備が整いました"

# Starts the game in the background in folder $1 with no script and no idle
# limit, on platform $2 (headless when not given; sdl runs on SDL's dummy
# drivers), and waits until it has finished starting; sets $pid. Job
# control keeps SIGINT as it is: a background job would otherwise ignore it.
start_idle() {
  mkdir -p "$1"
  set -m
  # A display name of its own keeps other copies on the dummy driver from
  # counting as this one's first copy.
  (cd "$1" && TESSEL_PLATFORM=${2:-headless} SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
     DISPLAY=":lifecycle-$$" WAYLAND_DISPLAY= \
     TESSEL_HEADLESS_IDLE_MS=0 exec "$game" > first.out 2>&1) &
  pid=$!
  set +m
  for _ in $(seq 100); do
    [ -s "$1/AppLog.txt" ] && grep -q '文字コードバッファ' <<< "$(log_utf8 "$1")" && break
    sleep 0.1
  done
}

# Sends signal $2 to $pid and checks that the game in folder $1 closed its
# window and ended with 0.
stop_with() {
  kill -"$2" "$pid"
  local code=0 _
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { fail "$1: still running after SIG$2"; kill -KILL "$pid"; }
  wait "$pid" || code=$?
  [ "$code" -eq 0 ] || fail "$1: exit code $code after SIG$2"
  expect_in_order "$1" "
ウインドウを閉じようとしています
ソフトを終了する準備が整いました"
}

# --- A second copy in the same folder logs the double launch after the
# first copy's lines, says so on the terminal and ends with 0; SIGTERM then
# ends the first copy through its window's close.
start_idle twice
(cd twice && timeout 30 "$game" > second.out 2>&1)
code=$?
[ "$code" -eq 0 ] || fail "second copy: exit code $code"
grep -c 'already running' twice/second.out > /dev/null || fail "second copy: nothing said on the terminal"
expect_in_order twice "
文字コードバッファの初期化を行います... 完了しました
ソフトの２重起動検査... ２重起動されています、ソフトを終了します"
stop_with twice TERM

# --- SIGINT and SIGHUP close the window too, and all three do so on the
# desktop back end.
for run in headless:INT headless:HUP sdl:TERM sdl:INT sdl:HUP; do
  start_idle "signal_${run/:/_}" "${run%%:*}"
  stop_with "signal_${run/:/_}" "${run#*:}"
done

# --- A run with nothing left to do closes its window after the idle limit
# of virtual time: 60 s by default after the script's last event, or as
# TESSEL_HEADLESS_IDLE_MS says (here without a script at all).
run_in idle_default "500 mouse 10 10"
[ "$code" -eq 0 ] || fail "idle: exit code $code"
end=$(log_utf8 idle_default | grep 'ウインドウを閉じようとしています' | cut -d: -f1)
[ "${end:-0}" -ge 60500 ] && [ "$end" -lt 60700 ] || fail "idle: closed at \"$end\" ms, not 60 s after the last event"
grep -c 'no input for 60000 ms' idle_default/stderr.txt > /dev/null || fail "idle: nothing said on the terminal"
mkdir -p idle_short
(cd idle_short && TESSEL_HEADLESS_IDLE_MS=2000 timeout 60 "$game" > stdout.txt 2> stderr.txt)
code=$?
[ "$code" -eq 0 ] || fail "idle limit 2000: exit code $code"
end=$(log_utf8 idle_short | grep 'ウインドウを閉じようとしています' | cut -d: -f1)
[ "${end:-0}" -ge 2000 ] && [ "$end" -lt 2200 ] || fail "idle limit 2000: closed at \"$end\" ms"

# --- A malformed script is reported with its line number before the game starts.
run_in malformed "# comment
100 down SPACE
200 jump high"
[ "$code" -ne 0 ] || fail "malformed script: exit code 0"
grep -q ':3:' malformed/stderr.txt || fail "malformed script: line number not reported"

finish "headless lifecycle"
