#!/usr/bin/env bash
# Builds the sound file fuzzer with clang, address and undefined-behaviour
# sanitizers (in the same build folder as the image decoder fuzzer), writes
# the seed corpus and runs the fuzzer for the given number of seconds.
#   usage: fuzz/sound_run.sh [seconds (30)] [build folder (build-fuzz)]
# Findings are written to the build folder as crash-*, leak-*, timeout-*;
# the exit status is the fuzzer's (0 when it found nothing).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${2:-$here/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the sound fuzzer was NOT built or run."
  exit 0
fi

flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DTESSEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"${FUZZ_JOBS:-2}" sound_fuzz sound_seeds

seeds="$build/sound-seeds"
corpus="$build/sound-corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
"$build/fuzz/sound_seeds" "$seeds"

echo "fuzz: running the sound fuzzer for ${seconds} s"
cd "$build"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$here/fuzz/sound_lsan.supp
./fuzz/sound_fuzz -max_total_time="$seconds" -max_len=16384 -timeout=25 -print_final_stats=1 \
  "$corpus" "$seeds"
