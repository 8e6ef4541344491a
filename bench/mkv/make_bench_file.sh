#!/bin/sh
# Makes a real Matroska file of 100 blocks a second (50 H.264 frames, 50 Opus packets of 20 ms),
# by default 2000 seconds: 200,000 blocks for the Matroska speed figures. Not committed: it is
# made on demand, by default in /tmp.
#   make_bench_file.sh [FILE [SECONDS]]
set -eu
out=${1:-/tmp/kestrune-bench-200k.mkv}
seconds=${2:-2000}
if [ -s "$out" ]; then
    echo "$out"
    exit 0
fi
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=32x32:rate=50 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -t "$seconds" -c:v libx264 -preset ultrafast -g 50 -c:a libopus -b:a 8k -frame_duration 20 \
    "$out.part.mkv"
mv "$out.part.mkv" "$out"
echo "$out"
