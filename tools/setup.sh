#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, builds what the command
# needs (the game and its assets for "run", everything for "test"),
# prepares the game's working folder, then runs the game or the tests.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
workdir="$build/run"   # the game's working folder: assets, AppLog.txt, user.data

packages=(
  build-essential cmake ninja-build pkg-config clang
  libsdl2-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev libogg-dev libvorbis-dev
  libsndfile1-dev libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-vlgothic
  libgtest-dev libbenchmark-dev libpixman-1-dev libsdl2-ttf-dev libclang-rt-14-dev
  xvfb xauth xdotool x11-utils imagemagick sox lame python3 libsdl2-mixer-dev
  libepoxy-dev libegl-dev libgl-dev libgl1-mesa-dri libegl1 libegl-mesa0 libgles-dev libsfml-dev
  ffmpeg libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libcurl4-openssl-dev libc-ares-dev openssl curl socat ncat
  libx11-dev libxkbcommon-dev x11-xkb-utils
  libsdl2-gfx-dev
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Builds the targets named, or everything (tests and benchmarks too) when
# none are.
build_targets() {
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  ninja -C "$build" -j"$(nproc)" "$@"
  mkdir -p "$workdir"
}

run_game() {
  if [ "${TESSEL_PLATFORM:-sdl}" != headless ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
No display found: Ballistor needs a desktop session to open its window.
To run it without a display, use the headless platform, e.g.:
  cd "$workdir" && TESSEL_PLATFORM=headless TESSEL_INPUT=script.txt "$build/ballistor"
where script.txt holds lines such as "2000 down ESCAPE" (see README.md).
MSG
    exit 1
  fi
  cd "$workdir"
  exec "$build/ballistor"
}

case "${1:-}" in
  run)  install_missing; build_targets ballistor ballistor_assets; run_game ;;
  test)
    install_missing
    build_targets
    ctest --test-dir "$build" --output-on-failure -j2
    # Short fuzzing passes over the image and sound decoders, over both
    # loaders end to end and over movies, sharing one sanitizer build (need
    # clang; each says so without it).
    bash "$here/fuzz/run.sh" image 30 "$here/build-fuzz"
    bash "$here/fuzz/run.sh" sound 30 "$here/build-fuzz"
    bash "$here/fuzz/run.sh" load 30 "$here/build-fuzz"
    bash "$here/fuzz/run.sh" movie 30 "$here/build-fuzz"
    ;;
  *)    echo "usage: $0 run|test" >&2; exit 2 ;;
esac
