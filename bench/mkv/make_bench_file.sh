#!/bin/sh
# Makes a real Matroska file with 200,000 blocks (100,000 H.264 frames, 100,000 Opus packets)
# for the Matroska speed figures. Not committed: it is made on demand, by default in /tmp.
set -eu
out=${1:-/tmp/kestrune-bench-200k.mkv}
if [ -s "$out" ]; then
    echo "$out"
    exit 0
fi
ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=32x32:rate=50 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -t 2000 -c:v libx264 -preset ultrafast -g 50 -c:a libopus -b:a 8k -frame_duration 20 \
    "$out.part.mkv"
mv "$out.part.mkv" "$out"
echo "$out"
