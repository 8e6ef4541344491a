#!/bin/sh
# Matroska speed figures, side by side in one run on one file with 200,000 blocks:
#   kestrune-dump --summary       the whole analysis: plug-in walk and element database
#   kestrune-bench-walk           the plug-in walk alone, into a sink that only counts
#   mkvinfo -v -v                 listing every block
#   ffprobe -v error -show_packets
# Usage: bench_mkv.sh BUILD_DIR [FILE]   (FILE is made by make_bench_file.sh when missing;
# RUNS=n sets the number of runs, best of 3 by default)
set -eu
build=${1:?usage: bench_mkv.sh BUILD_DIR [FILE]}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
file=$("$here/make_bench_file.sh" "${2:-/tmp/kestrune-bench-200k.mkv}")

echo "file: $file ($(stat -c %s "$file") bytes, $(mkvinfo -v -v "$file" | grep -c 'block') blocks)"
"$build/bin/kestrune-dump" --summary "$file" 2>/dev/null | sed 's/^/  /'
bench_run "$build/bin/kestrune-dump" --summary "$file"
dump=$bench_seconds
bench_run mkvinfo -v -v "$file"
mkvinfo=$bench_seconds
bench_run ffprobe -v error -show_packets "$file"
ffprobe=$bench_seconds
"$build/bin/kestrune-bench-walk" "$file" 2>/dev/null
printf 'kestrune-dump --summary  %6.3f s\n' "$dump"
printf 'mkvinfo -v -v            %6.3f s\n' "$mkvinfo"
printf 'ffprobe -show_packets    %6.3f s\n' "$ffprobe"
echo "dump / mkvinfo $(bench_ratio "$dump" "$mkvinfo") (target at most 1)," \
     "dump / ffprobe $(bench_ratio "$dump" "$ffprobe") (target at most 0.7)"
