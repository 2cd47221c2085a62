#!/usr/bin/env bash
# Writes the movie fuzzer's seeds into the given folder: clips of a few
# frames, 32 x 24, in each container and codec the player is meant for.
set -euo pipefail
out=${1:?usage: movie_seeds.sh FOLDER}
if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "fuzz: ffmpeg is not installed; the movie fuzzer starts without seeds"
  exit 0
fi
make() {
  ffmpeg -v error -y -f lavfi -i testsrc=s=32x24:r=25:d=0.4 -f lavfi -i sine=d=0.4:r=8000 \
    -shortest "$@"
}
make -c:v mpeg1video -c:a mp2 -ar 32000 "$out/seed.mpg"
make -c:v mpeg4 -c:a mp2 -ar 32000 "$out/seed.avi"
make -c:v libx264 -preset ultrafast -c:a aac "$out/seed.mp4"
make -c:v libvpx -c:a libvorbis "$out/seed-vp8.webm"
make -c:v libvpx-vp9 -c:a libopus -ar 48000 "$out/seed-vp9.webm"
make -c:v libtheora -c:a libvorbis "$out/seed.ogv"
