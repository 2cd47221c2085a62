#!/usr/bin/env bash
# Builds one of the fuzzers with clang, address and undefined-behaviour
# sanitizers in a build folder of its own (shared by all of them), writes
# its seed corpus and runs it for the given number of seconds.
#   usage: fuzz/run.sh image|sound|load|movie [seconds (30)] [build folder (build-fuzz)]
# Findings are written to the build folder as crash-*, leak-*, timeout-*;
# the exit status is the fuzzer's (0 when it found nothing).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: fuzz/run.sh image|sound|load|movie [seconds] [build folder]}
seconds=${2:-30}
build=${3:-$here/build-fuzz}
mkdir -p "$build" && build=$(cd "$build" && pwd)

# A decoded image may take up to 1 GiB, and a graph made of it more: the
# memory limit leaves room for the largest image the library loads.
rss_limit=4096
case "$kind" in
  image) name=decode; what="image decoder"; max_len=65536; seeders=(decode_seeds) ;;
  sound) name=sound; what="sound"; max_len=16384; seeders=(sound_seeds)
         export LSAN_OPTIONS=suppressions=$here/fuzz/sound_lsan.supp ;;
  load)  name=load; what="image and sound loader"; max_len=65536
         seeders=(decode_seeds sound_seeds)
         export LSAN_OPTIONS=suppressions=$here/fuzz/load_lsan.supp ;;
  movie) name=movie; what="movie"; max_len=65536; seeders=()
         export LSAN_OPTIONS=suppressions=$here/fuzz/load_lsan.supp ;;
  *) echo "fuzz: unknown fuzzer \"$kind\" (image, sound, load or movie)" >&2; exit 2 ;;
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
ninja -C "$build" -j"${FUZZ_JOBS:-2}" "${name}_fuzz" ${seeders[@]+"${seeders[@]}"}

seeds="$build/$kind-seeds"
corpus="$build/$kind-corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
for seeder in ${seeders[@]+"${seeders[@]}"}; do "$build/fuzz/$seeder" "$seeds"; done
if [ "$kind" = movie ]; then bash "$here/fuzz/movie_seeds.sh" "$seeds"; fi

echo "fuzz: running the $what fuzzer for ${seconds} s"
cd "$build"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"./fuzz/${name}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 -rss_limit_mb=$rss_limit \
  -print_final_stats=1 "$corpus" "$seeds"
