#!/usr/bin/env bash
# A short run of the sound file fuzzer when clang is installed: the parser and
# decoder take its seed corpus and a few seconds of mutations without a
# sanitizer finding. The sanitizer build lives in the source tree's
# build-fuzz folder, shared with the image decoder fuzzer, so it is made once;
# the lock keeps two runs from building in it at the same time.
set -uo pipefail
scratch=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
if ! command -v clang++ > /dev/null; then
  echo "SKIPPED: clang++ is not installed; the sound fuzzer was not run"
  exit 0
fi
mkdir -p "$root/build-fuzz"
flock "$root/build-fuzz/.lock" "$root/fuzz/sound_run.sh" "${SOUND_FUZZ_SECONDS:-15}" "$root/build-fuzz" \
  > "$scratch/fuzz.log" 2>&1
code=$?
grep -E "^(Done|stat::number_of_executed_units)" "$scratch/fuzz.log"
if [ "$code" -ne 0 ]; then
  tail -n 40 "$scratch/fuzz.log"
  echo "FAIL: the sound fuzzer stopped with code $code (findings are in $root/build-fuzz)"
  exit 1
fi
echo "sound fuzzer: no findings"
