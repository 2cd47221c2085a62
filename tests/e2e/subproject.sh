#!/usr/bin/env bash
# Another CMake project builds the library from this tree with
# add_subdirectory: by default it gets the library alone (no tests,
# benchmarks, examples or game), links it as Tessel::tessel and runs; asked
# for the tests, it gets them working, their files found in this tree.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$(dirname "$1")" && pwd)
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
generator=$(cache CMAKE_GENERATOR)
settings=(-G "$generator" -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)"
          -DCMAKE_C_COMPILER="$(cache CMAKE_C_COMPILER)" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
launcher=$(cache CMAKE_CXX_COMPILER_LAUNCHER)
[ -n "$launcher" ] && settings+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_C_COMPILER_LAUNCHER="$launcher")

mkdir -p outer
cat > outer/main.cpp <<'CPP'
#include <tessel.h>
#include <cstdio>
int main() {
    if (InitLibrary() != 0) return 10;
    SetDrawTarget(TargetBack);
    ClearDrawTarget();
    if (DrawTextString(0, 0, "sub", MakeColor(255, 255, 255), 0) != 0) return 11;
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    if (graph == -1 || DrawGraph(0, 0, graph, 0) != 0) return 12;
    if (PresentScreen() != 0) return 13;
    std::printf("text %d\n", MeasureTextWidth("sub") > 0);
    EndLibrary();
    return 0;
}
CPP
cat > outer/CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(outer LANGUAGES C CXX)
add_subdirectory("$root" tessel)
add_executable(outer main.cpp)
target_link_libraries(outer PRIVATE Tessel::tessel)
CMAKE

# --- The default: the library and the program, nothing of the tree's own.
if ! cmake -S outer -B outer-build "${settings[@]}" > configure.log 2>&1; then
  fail "configuring a project that includes the tree failed:"; tail -30 configure.log
elif ! cmake --build outer-build --target outer -j 2 > build.log 2>&1; then
  fail "building the program failed:"; tail -30 build.log
else
  mkdir -p run
  (cd run && TESSEL_PLATFORM=headless timeout 60 ../outer-build/outer > stdout.txt 2> stderr.txt)
  code=$?
  [ "$code" -eq 0 ] || fail "the program exited with $code: $(cat run/stderr.txt)"
  grep -cx "text 1" run/stdout.txt > /dev/null || fail "the program measured no text"
  [ -s run/AppLog.txt ] || fail "no AppLog.txt"
  for option in TESSEL_BUILD_TESTS TESSEL_BUILD_BENCH TESSEL_BUILD_EXAMPLES TESSEL_BUILD_GAME; do
    grep -cx "$option:BOOL=OFF" outer-build/CMakeCache.txt > /dev/null || fail "$option is not off by default"
  done
  targets=$(cmake --build outer-build --target help 2> /dev/null)
  for target in tessel_test_support blit_bench hello_text ballistor assetgen decode_fuzz; do
    echo "$targets" | grep -cw "$target" > /dev/null && fail "target $target is defined inside another project"
  done
  registered=$(cd outer-build && ctest -N 2> /dev/null | grep -c 'Test *#')
  [ "$registered" -eq 0 ] || fail "$registered tests are registered"

  # --- Asked for, the tests build against this tree and find the game's files.
  if ! cmake -S outer -B outer-build -DTESSEL_BUILD_TESTS=ON > tests-configure.log 2>&1; then
    fail "configuring with the tests failed:"; tail -30 tests-configure.log
  elif ! cmake --build outer-build --target terrain_test -j 2 > tests-build.log 2>&1; then
    fail "building a test failed:"; tail -30 tests-build.log
  else
    [ -d outer-build/tessel/run ] || fail "the game's files are not in the included tree's build folder"
    (cd outer-build/tessel/tests && TESSEL_PLATFORM=headless timeout 120 ./terrain_test > terrain.log 2>&1) ||
      { fail "terrain_test failed:"; tail -20 outer-build/tessel/tests/terrain.log; }
  fi
fi

finish "subproject"
