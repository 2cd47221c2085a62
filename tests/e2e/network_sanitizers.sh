#!/usr/bin/env bash
# The network tests (HTTP and TCP) under AddressSanitizer and
# UndefinedBehaviorSanitizer: a sanitized build of the library and of those
# two test programs in the scratch folder (kept between runs, so only changed
# files are compiled again), then every test case in a process of its own,
# as ctest runs them. Any sanitizer report, any leak left at exit and any
# failed case fails.
set -uo pipefail
scratch=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$scratch" && cd "$scratch" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

command -v ninja > /dev/null || { echo "SKIPPED: ninja is missing"; exit 0; }
source "$source_dir/tests/support/sanitizers.sh"
tests=(http_test tcp_test)
sanitized_build ON "${tests[@]}"

# The tests read their files from the build's tests folder, as under ctest.
cd "$build/tests" || exit 1
for program in "${tests[@]}"; do
  cases=$("./$program" --gtest_list_tests | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
  [ -n "$cases" ] || fail "$program lists no test"
  for name in $cases; do
    log=$scratch/$name.log
    timeout 300 "./$program" --gtest_filter="$name" > "$log" 2>&1
    code=$?
    if [ "$code" -ne 0 ] || grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log"; then
      fail "$name: exit code $code"
      tail -n 60 "$log"
    fi
  done
  echo "$program: $(echo "$cases" | wc -w) cases run"
done

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "sanitizers: no report, no leak"
