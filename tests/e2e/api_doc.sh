#!/usr/bin/env bash
# docs/API.md describes every declaration of the public header: the real
# pair must pass the check, and the checker must notice a declaration added
# to the header, a stub left in the document, and a changed signature.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
command -v python3 > /dev/null || { echo "FAIL: python3 is missing (bash tools/setup.sh installs it)"; exit 1; }
apidoc() { python3 "$root/tools/apidoc.py" "$@"; }

# --- The committed document covers the header as it is now.
apidoc check "$root/lib/include/tessel.h" "$root/docs/API.md" > real.txt
code=$?
cat real.txt
[ "$code" -eq 0 ] || fail "docs/API.md does not cover lib/include/tessel.h (see above)"

# --- A new operation in a section shows up as missing, by name. The header
# is changed in a copy of the include folder, with its parts.
cp "$root/docs/API.md" API.md
cp -r "$root/lib/include" grown
sed -i '/^int PresentScreen();/a int FadeScreen(int milliseconds, uint32_t colour);  // test only' \
  grown/tessel/graphics.h
grep -q FadeScreen grown/tessel/graphics.h || fail "could not add a declaration to the header copy"
apidoc check grown/tessel.h API.md > grown.txt && fail "a new declaration passed the check"
grep -q "FadeScreen: declared in the header (Screen and drawing) but not documented" grown.txt ||
  fail "the missing declaration is not named: $(cat grown.txt)"

# --- update adds a stub where the header has it; the stub still fails.
apidoc update grown/tessel.h API.md > /dev/null || fail "update failed"
awk '/^## /{s=$0} /^### `FadeScreen`/{print s}' API.md | grep -cx "## Screen and drawing" ||
  fail "the stub is not under its section"
grep -A4 '^### `FadeScreen`' API.md | grep -c 'int FadeScreen(int milliseconds, uint32_t colour);' ||
  fail "the stub does not show the declaration"
apidoc check grown/tessel.h API.md > stub.txt && fail "a stub passed the check"
grep -q "FadeScreen: still a stub" stub.txt || fail "the stub is not reported: $(cat stub.txt)"
grep -q "FadeScreen: no \*\*Returns:\*\*" stub.txt || fail "the missing result is not reported"
# Updating back to the real header drops the stub and gives back the
# committed document byte for byte: update keeps every hand-written text.
apidoc update "$root/lib/include/tessel.h" API.md > /dev/null
cmp -s API.md "$root/docs/API.md" || fail "update does not keep the document: $(diff "$root/docs/API.md" API.md | head -5)"

# --- A changed signature and a dropped declaration are both reported.
cp -r "$root/lib/include" changed
sed -i 's/^int ClearDrawTarget();/int ClearDrawTarget(uint32_t colour);/' changed/tessel/graphics.h
sed -i '/^int IsWindowActive();/d' changed/tessel/core.h
apidoc check changed/tessel.h "$root/docs/API.md" > changed.txt && fail "a changed header passed the check"
grep -q "ClearDrawTarget: the document shows another declaration" changed.txt || fail "changed signature not reported"
grep -q "IsWindowActive: documented but no longer declared" changed.txt || fail "dropped declaration not reported"

finish "api doc"
