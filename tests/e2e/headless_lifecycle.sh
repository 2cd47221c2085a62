#!/usr/bin/env bash
# Whole-program runs of the game on the headless platform: Escape, closing
# the window, a second copy, and a malformed input script.
set -uo pipefail
game=$1
scratch=$2
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
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

# --- A second copy in the same folder logs the double launch and ends with 0.
mkdir -p twice && printf '# no events: runs until stopped\n' > twice/input.txt
(cd twice && TESSEL_INPUT=input.txt exec "$game" > first.out 2>&1) &
first=$!
for _ in $(seq 100); do
  [ -s twice/AppLog.txt ] && grep -q '文字コードバッファ' <<< "$(log_utf8 twice)" && break
  sleep 0.1
done
(cd twice && TESSEL_INPUT=input.txt timeout 30 "$game" > second.out 2>&1)
code=$?
kill "$first" 2>/dev/null; wait "$first" 2>/dev/null
[ "$code" -eq 0 ] || fail "second copy: exit code $code"
grep -q 'ソフトの２重起動検査... ２重起動されています、ソフトを終了します' <<< "$(log_utf8 twice)" \
  || fail "second copy: double-launch lines missing"

# --- A malformed script is reported with its line number before the game starts.
run_in malformed "# comment
100 down SPACE
200 jump high"
[ "$code" -ne 0 ] || fail "malformed script: exit code 0"
grep -q ':3:' malformed/stderr.txt || fail "malformed script: line number not reported"

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "headless lifecycle: all checks passed"
