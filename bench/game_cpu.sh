#!/usr/bin/env bash
# CPU time of a headless game per virtual second: Ballistor driven by
# bench/game_shots.txt (60 virtual seconds, ten shots), run $3 times (default
# 3); prints each run's user + system milliseconds per virtual second.
#   bench/game_cpu.sh BUILD/ballistor BUILD/run [runs]
set -euo pipefail
game=$(realpath "$1")
assets=$(realpath "$2")
script=$(realpath "$(dirname "$0")/game_shots.txt")
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$assets"/. "$work"/
cd "$work"
export TESSEL_PLATFORM=headless TESSEL_INPUT=$script
for _ in $(seq "$runs"); do
  /usr/bin/time -f '%U %S' -o times.txt "$game" > /dev/null 2>&1 || true
  read -r user sys < times.txt
  awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.1f ms CPU per virtual second\n", (u + s) * 1000 / 60 }'
done
