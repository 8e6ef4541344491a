#!/bin/sh
# Times `kestrune-dump --summary` against `ffprobe -v error -show_packets` on one MP4 of
# 200,000 video samples plus an audio track, side by side in the same run, and prints the ratio.
#   bench_mp4.sh BUILD_DIR [RUNS]
# The file is made once by make_bench_file.sh into /tmp (it is not committed).
set -eu
build=${1:?usage: bench_mp4.sh BUILD_DIR [RUNS]}
RUNS=${2:-${RUNS:-3}}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
file=$("$here/make_bench_file.sh" /tmp/kestrune-bench-200k.mp4)

echo "file: $file ($(stat -c %s "$file") bytes)"
"$build/bin/kestrune-dump" --summary "$file"
bench_run "$build/bin/kestrune-dump" --summary "$file"
ours=$bench_seconds
bench_run ffprobe -v error -show_packets "$file"
theirs=$bench_seconds
printf 'kestrune-dump --summary: %.3f s\n' "$ours"
printf 'ffprobe -show_packets:   %.3f s\n' "$theirs"
echo "ratio: $(bench_ratio "$ours" "$theirs") (target at most 0.3)"
