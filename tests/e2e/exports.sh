#!/usr/bin/env bash
# The archive programs link holds the library's public operations and nothing
# else: every function the public header declares is a global symbol of
# libtessel.a, and no other function is, so a program's own names never meet
# the library's internal ones.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$(dirname "$1")" && pwd)
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
archive=$build/libtessel.a
[ -f "$archive" ] || { fail "no library at $archive"; finish "exports"; }

nm -g --defined-only "$archive" | awk '$2 == "T" { print $3 }' | c++filt | sed 's/(.*//' |
  sort > exported.txt
python3 - "$root" > declared.txt <<'PY'
import sys
sys.path.insert(0, sys.argv[1] + "/tools")
import apidoc
for _, entries in apidoc.parse_header(sys.argv[1] + "/lib/include/tessel.h"):
    print("\n".join(e.name for e in entries if e.kind == "function"))
PY
sort -o declared.txt declared.txt
[ "$(wc -l < declared.txt)" -gt 100 ] || fail "the header's functions were not read: $(wc -l < declared.txt)"
diff declared.txt exported.txt > differ.txt ||
  fail "declared (<) and exported (>) functions differ: $(head -20 differ.txt)"
finish "exports"
