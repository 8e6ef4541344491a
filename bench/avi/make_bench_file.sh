#!/bin/sh
# Makes a real AVI file of 100 index entries a second (50 MPEG-4 frames, 50 PCM chunks of 20 ms),
# by default 2000 seconds: 200,000 index entries for the AVI speed figures. Not committed: it is
# made on demand, by default in /tmp.
#   make_bench_file.sh [FILE [SECONDS]]
set -eu
out=${1:-/tmp/kestrune-bench-200k.avi}
seconds=${2:-2000}
if [ -s "$out" ]; then
    echo "$out"
    exit 0
fi
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=32x32:rate=50 \
    -f lavfi -i sine=frequency=440:sample_rate=8000:samples_per_frame=160 \
    -t "$seconds" -c:v mpeg4 -g 50 -c:a pcm_s16le "$out.part.avi"
mv "$out.part.avi" "$out"
echo "$out"
