#!/bin/sh
# Makes a real MP4 file of 100 H.264 samples a second plus an AAC track at 8 kHz (7.8 samples a
# second), by default 2000 seconds: 200,000 video samples for the MP4 speed figures. Not
# committed: it is made on demand, by default in /tmp.
#   make_bench_file.sh [FILE [SECONDS]]
set -eu
out=${1:-/tmp/kestrune-bench-200k.mp4}
seconds=${2:-2000}
if [ -s "$out" ]; then
    echo "$out"
    exit 0
fi
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=32x32:rate=100 -f lavfi -i sine=frequency=440:sample_rate=8000 \
    -t "$seconds" -c:v libx264 -preset ultrafast -g 250 -pix_fmt yuv420p -c:a aac -b:a 8k \
    "$out.part.mp4"
mv "$out.part.mp4" "$out"
echo "$out"
