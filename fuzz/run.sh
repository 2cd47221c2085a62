#!/usr/bin/env bash
# Builds one of the fuzzers with clang, address and undefined-behaviour
# sanitizers in a build folder of its own (shared by both fuzzers), writes
# its seed corpus and runs it for the given number of seconds.
#   usage: fuzz/run.sh image|sound [seconds (30)] [build folder (build-fuzz)]
# Findings are written to the build folder as crash-*, leak-*, timeout-*;
# the exit status is the fuzzer's (0 when it found nothing).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: fuzz/run.sh image|sound [seconds] [build folder]}
seconds=${2:-30}
build=${3:-$here/build-fuzz}
mkdir -p "$build" && build=$(cd "$build" && pwd)

case "$kind" in
  image) name=decode; what="image decoder"; max_len=65536 ;;
  sound) name=sound; what="sound"; max_len=16384
         export LSAN_OPTIONS=suppressions=$here/fuzz/sound_lsan.supp ;;
  *) echo "fuzz: unknown fuzzer \"$kind\" (image or sound)" >&2; exit 2 ;;
esac

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the $what fuzzer was NOT built or run."
  exit 0
fi

flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DTESSEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"${FUZZ_JOBS:-2}" "${name}_fuzz" "${name}_seeds"

seeds="$build/$kind-seeds"
corpus="$build/$kind-corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
"$build/fuzz/${name}_seeds" "$seeds"

echo "fuzz: running the $what fuzzer for ${seconds} s"
cd "$build"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"./fuzz/${name}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 \
  -print_final_stats=1 "$corpus" "$seeds"
