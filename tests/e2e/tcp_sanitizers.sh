#!/usr/bin/env bash
# The TCP tests under AddressSanitizer and UndefinedBehaviorSanitizer: a
# build of tcp_test of its own in the scratch folder (kept between runs, so
# only changed files are compiled again), then every case of it. Any
# sanitizer report, and any leak left at exit, fails.
set -uo pipefail
scratch=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
data=$source_dir/tests/data
mkdir -p "$scratch" && cd "$scratch" || exit 1
command -v ninja > /dev/null || { echo "SKIPPED: ninja is missing"; exit 0; }

# The compiler must be able to link sanitized programs at all.
printf 'int main() { return 0; }\n' > probe.cpp
if ! c++ -fsanitize=address,undefined probe.cpp -o probe > probe.log 2>&1; then
  echo "SKIPPED: the compiler cannot build with -fsanitize=address,undefined"
  cat probe.log
  exit 0
fi

build=$scratch/asan
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
# ccache, where there is one, keeps a fresh scratch folder cheap.
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
start=$(date +%s)
if ! cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
     -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
     -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
     -DTESSEL_BUILD_BENCH=OFF -DTESSEL_BUILD_EXAMPLES=OFF "${launcher[@]}" > configure.log 2>&1; then
  cat configure.log
  echo "FAIL: configuring the sanitizer build failed"
  exit 1
fi
if ! ninja -C "$build" -j2 tcp_test > build.log 2>&1; then
  tail -n 40 build.log
  echo "FAIL: the sanitizer build failed"
  exit 1
fi
echo "sanitizer build: $(($(date +%s) - start)) s"

export TESSEL_PLATFORM=headless
unset TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_AUDIO_OUT TESSEL_INPUT
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$data/lsan_system.supp:print_suppressions=1
start=$(date +%s)
timeout 900 "$build/tests/tcp_test" > stdout.txt 2> stderr.txt
code=$?
echo "tcp_test: $(($(date +%s) - start)) s, exit code $code"
failures=0
if [ "$code" -ne 0 ]; then
  echo "FAIL: tcp_test exit code $code"
  grep -E "^\[  FAILED|: Failure$" stdout.txt
  failures=1
fi
if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' stderr.txt; then
  echo "FAIL: sanitizer report"
  cat stderr.txt
  failures=1
fi
[ "$failures" -eq 0 ] || exit 1
echo "sanitizers: no report, no leak"
