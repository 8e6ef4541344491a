#!/bin/sh
# Matroska speed figures, side by side in one run on one file with 200,000 blocks:
#   kestrune-dump --summary       the whole analysis: plug-in walk and element database
#   kestrune-bench-walk           the plug-in walk alone, into a sink that only counts
#   mkvinfo -v -v                 listing every block
#   ffprobe -v error -show_packets
# Usage: bench_mkv.sh BUILD_DIR [FILE]   (FILE is made by make_bench_file.sh when missing)
set -eu
build=${1:?usage: bench_mkv.sh BUILD_DIR [FILE]}
here=$(cd "$(dirname "$0")" && pwd)
file=$("$here/make_bench_file.sh" "${2:-/tmp/kestrune-bench-200k.mkv}")
runs=${RUNS:-3}

# Best wall-clock seconds of $runs runs of a command, its output thrown away.
best() {
    best_time=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s.%N)
        t=$(awk "BEGIN { print $end - $start }")
        if [ -z "$best_time" ] || awk "BEGIN { exit !($t < $best_time) }"; then
            best_time=$t
        fi
        i=$((i + 1))
    done
    echo "$best_time"
}

echo "file: $file ($(stat -c %s "$file") bytes, $(mkvinfo -v -v "$file" | grep -c 'block') blocks)"
"$build/bin/kestrune-dump" --summary "$file" 2>/dev/null | sed 's/^/  /'
dump=$(best "$build/bin/kestrune-dump" --summary "$file")
mkvinfo=$(best mkvinfo -v -v "$file")
ffprobe=$(best ffprobe -v error -show_packets "$file")
"$build/bin/kestrune-bench-walk" "$file" 2>/dev/null
printf 'kestrune-dump --summary  %6.3f s\n' "$dump"
printf 'mkvinfo -v -v            %6.3f s\n' "$mkvinfo"
printf 'ffprobe -show_packets    %6.3f s\n' "$ffprobe"
awk "BEGIN { printf \"dump / mkvinfo %.2f (target at most 1), dump / ffprobe %.2f (target at most 0.7)\\n\", \
    $dump / $mkvinfo, $dump / $ffprobe }"
