#!/bin/sh
# Makes a real AVI file with 200,000 index entries (100,000 MPEG-4 frames, 100,000 PCM chunks of
# 20 ms) for the AVI speed figures. Not committed: it is made on demand, by default in /tmp.
set -eu
out=${1:-/tmp/kestrune-bench-200k.avi}
if [ -s "$out" ]; then
    echo "$out"
    exit 0
fi
ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=32x32:rate=50 \
    -f lavfi -i sine=frequency=440:sample_rate=8000:samples_per_frame=160 \
    -t 2000 -c:v mpeg4 -g 50 -c:a pcm_s16le "$out.part.avi"
mv "$out.part.avi" "$out"
echo "$out"
