#!/usr/bin/env bash
# The installed library serves a program built elsewhere, both through the
# CMake package (find_package(Tessel), Tessel::tessel) and through
# pkg-config, from a tree that was moved after installing.
set -uo pipefail
# After a pipe, grep -c and not -q: -q closes the pipe early, which pipefail
# would count as a failure.
build=$(cd "$(dirname "$1")" && pwd)
scratch=$2
source "$(dirname "$0")/../support/checks.sh"
version=$(cache CMAKE_PROJECT_VERSION)
cxx=$(cache CMAKE_CXX_COMPILER)
generator=$(cache CMAKE_GENERATOR)
source=$(cache Tessel_SOURCE_DIR)

# --- Install, then move the tree: nothing in it may point at where it was made.
cmake --install "$build" --prefix "$scratch/staged" > install.log 2>&1 || { cat install.log; exit 1; }
mv staged prefix
prefix=$scratch/prefix
archive=$(find prefix -name libtessel.a)
[ -n "$archive" ] || fail "libtessel.a not installed"
cmp -s prefix/include/tessel.h "$source/lib/include/tessel.h" || fail "installed header differs from lib/include/tessel.h"
for part in "$source"/lib/include/tessel/*.h; do
  cmp -s "prefix/include/tessel/$(basename "$part")" "$part" || fail "header part $(basename "$part") not installed as it is"
done
pcdir=$(dirname "$(find prefix -name tessel.pc)")
[ -f "$pcdir/tessel.pc" ] || fail "tessel.pc not installed"
[ -f "$(dirname "$archive")/cmake/Tessel/TesselConfigVersion.cmake" ] || fail "no version file"

# A program that starts the library, draws and reads a pixel back, and
# touches the image and sound decoders so that every dependency is linked.
mkdir -p app
cat > app/main.cpp <<'CPP'
#include <tessel.h>
#include <cstdio>
int main() {
    if (InitLibrary() != 0) return 10;
    SetDrawTarget(TargetBack);
    ClearDrawTarget();
    DrawTextString(0, 0, "hello", MakeColor(255, 255, 255), 0);
    if (PresentScreen() != 0) return 11;
    if (LoadGraphFile("missing.png") != -1 || LoadSoundFile("missing.ogg") != -1) return 12;
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    if (graph == -1 || DrawGraph(0, 0, graph, 0) != 0) return 13;
    std::printf("pixel %d\n", ReadScreenPixel(0, 0));
    EndLibrary();
    return 0;
}
CPP
cat > app/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(app LANGUAGES CXX)
find_package(Tessel @WANT@ REQUIRED)
add_executable(app main.cpp)
target_link_libraries(app PRIVATE Tessel::tessel)
CMAKE

# Runs program $1 headless in folder $2; fails with name $3 unless it exits 0.
run_app() {
  mkdir -p "$2"
  (cd "$2" && TESSEL_PLATFORM=headless timeout 60 "$1" > stdout.txt 2> stderr.txt)
  local code=$?
  [ "$code" -eq 0 ] || fail "$3: the program exited with $code: $(cat "$2/stderr.txt")"
  [ -s "$2/AppLog.txt" ] || fail "$3: no AppLog.txt"
}

# --- find_package with the installed version.
sed "s/@WANT@/$version/" app/CMakeLists.txt > app/CMakeLists.tmp && mv app/CMakeLists.tmp app/CMakeLists.txt
if cmake -S app -B app-build -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
     -DCMAKE_PREFIX_PATH="$prefix" > cmake-configure.log 2>&1 &&
   cmake --build app-build > cmake-build.log 2>&1; then
  run_app "$scratch/app-build/app" run-cmake find_package
else
  fail "find_package build failed:"; tail -30 cmake-configure.log cmake-build.log 2> /dev/null
fi

# --- The version file turns away a request for another major version.
mkdir -p newer && sed "s/find_package(Tessel [^ ]*/find_package(Tessel 99.0/" app/CMakeLists.txt > newer/CMakeLists.txt
cp app/main.cpp newer/
if cmake -S newer -B newer-build -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" > newer.log 2>&1; then
  fail "find_package(Tessel 99.0) accepted version $version"
fi
grep -q "$version" newer.log || fail "the refusal does not name the installed version"

# --- pkg-config: the version, the dependencies, and a link with them.
export PKG_CONFIG_PATH=$scratch/$pcdir
[ "$(pkg-config --modversion tessel)" = "$version" ] || fail "pkg-config version is not $version"
for dep in sdl2 libpng libjpeg zlib freetype2 fontconfig vorbisfile sndfile; do
  pkg-config --print-requires tessel | grep -cx "$dep" || fail "tessel.pc does not require $dep"
done
if "$cxx" -std=c++20 app/main.cpp -o app-pc $(pkg-config --cflags --libs tessel) > pc-build.log 2>&1; then
  run_app "$scratch/app-pc" run-pc pkg-config
else
  fail "pkg-config build failed:"; tail -30 pc-build.log
fi

finish "install package"
