#!/usr/bin/env bash
# Builds the image decoder fuzzer with clang, address and undefined-behaviour
# sanitizers in a build folder of its own, writes the seed corpus and runs
# the fuzzer for the given number of seconds.
#   usage: fuzz/run.sh [seconds (30)] [build folder (build-fuzz)]
# Findings are written to the build folder as crash-*, leak-*, timeout-*;
# the exit status is the fuzzer's (0 when it found nothing).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${2:-$here/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the image decoder fuzzer was NOT built or run."
  exit 0
fi

flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DTESSEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"${FUZZ_JOBS:-2}" decode_fuzz decode_seeds

seeds="$build/seeds"
corpus="$build/corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
"$build/fuzz/decode_seeds" "$seeds"

echo "fuzz: running the image decoder fuzzer for ${seconds} s"
cd "$build"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
./fuzz/decode_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=25 -print_final_stats=1 \
  "$corpus" "$seeds"
