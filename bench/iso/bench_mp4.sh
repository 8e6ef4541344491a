#!/bin/sh
# Times `kestrune-dump --summary` against `ffprobe -v error -show_packets` on one MP4 of
# 200,000 video samples plus an audio track, side by side in the same run, and prints the ratio.
#   bench_mp4.sh BUILD_DIR [RUNS]
# The file is made once with ffmpeg into /tmp (it is not committed).
set -eu
build=${1:?usage: bench_mp4.sh BUILD_DIR [RUNS]}
runs=${2:-3}
dump="$build/bin/kestrune-dump"
file=/tmp/kestrune-bench-200k.mp4

if [ ! -s "$file" ]; then
    echo "making $file (200,000 video samples, AAC audio) ..."
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=32x32:rate=100 -f lavfi -i sine=frequency=440:sample_rate=8000 \
           -t 2000 -c:v libx264 -preset ultrafast -g 250 -pix_fmt yuv420p -c:a aac -b:a 8k "$file.tmp.mp4"
    mv "$file.tmp.mp4" "$file"
fi

seconds() { # the best wall time of $runs runs of the command
    best=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
        i=$((i + 1))
    done
    echo "$best"
}

echo "file: $file ($(stat -c %s "$file") bytes)"
"$dump" --summary "$file"
ours=$(seconds "$dump" --summary "$file")
theirs=$(seconds ffprobe -v error -show_packets "$file")
printf 'kestrune-dump --summary: %.3f s\n' "$ours"
printf 'ffprobe -show_packets:   %.3f s\n' "$theirs"
printf 'ratio: %.3f (target at most 0.3)\n' "$(echo "$ours / $theirs" | bc -l)"
