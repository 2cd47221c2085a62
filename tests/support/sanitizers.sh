# The sanitized build of the end-to-end sanitizer runs, sourced from the
# scratch folder once `scratch` and `source_dir` are set.
# `sanitized_build TESTS TARGET...` configures a Debug build under
# AddressSanitizer and UndefinedBehaviorSanitizer in $scratch/asan (kept
# between runs, so only changed files are compiled again; TESTS is ON or OFF
# for the test programs), builds the targets, sets `build`, and exports the
# sanitizer options: any report and any leak at exit ends the program. It
# ends the script, skipped, when the compiler cannot sanitize at all.
sanitized_build() {
  local tests=$1 flags start
  shift
  printf 'int main() { return 0; }\n' > probe.cpp
  if ! c++ -fsanitize=address,undefined probe.cpp -o probe > probe.log 2>&1; then
    echo "SKIPPED: the compiler cannot build with -fsanitize=address,undefined"
    cat probe.log
    exit 0
  fi
  build=$scratch/asan
  flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
  local launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  start=$(date +%s)
  if ! cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
       -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
       -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
       -DTESSEL_BUILD_TESTS="$tests" -DTESSEL_BUILD_BENCH=OFF -DTESSEL_BUILD_EXAMPLES=OFF > configure.log 2>&1; then
    cat configure.log
    echo "FAIL: configuring the sanitizer build failed"
    exit 1
  fi
  if ! ninja -C "$build" -j2 "$@" > build.log 2>&1; then
    tail -n 40 build.log
    echo "FAIL: the sanitizer build failed"
    exit 1
  fi
  echo "sanitizer build: $(($(date +%s) - start)) s"

  export TESSEL_PLATFORM=headless
  unset TESSEL_GPU TESSEL_WINDOWED TESSEL_LOG_STDERR TESSEL_AUDIO_OUT
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$source_dir/tests/data/lsan_system.supp:print_suppressions=1
}
