# The frame of the end-to-end scripts (sourced once `scratch`, and for
# `cache` also `build`, are set): the scratch folder made afresh and entered,
# failures counted by `fail`, and `finish` to report them.
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A value from the build's CMake cache.
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# Ends the script: 1 with the count of failures, else 0 saying that the
# checks of $1 passed.
finish() {
  if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
  echo "$1: all checks passed"
  exit 0
}
