#!/bin/sh
# OpenDML speed figures on a file past 1 GiB, where ffmpeg writes RIFF(AVIX) parts and the
# OpenDML indexes: 50 s of 640x480 raw video, 1250 frames, about 1.1 GB.
#   kestrune-dump --summary          the whole analysis
#   ffprobe -v error -show_packets
# and the frame list checked against ffprobe's packets (offset, size, key flag).
# Usage: bench_opendml.sh BUILD_DIR [FILE]   (FILE is made when missing; RUNS=n sets the number
# of runs, best of 3 by default)
set -eu
build=${1:?usage: bench_opendml.sh BUILD_DIR [FILE]}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
bench_have ffmpeg ffmpeg
bench_have ffprobe ffmpeg
file=${2:-/tmp/kestrune-opendml-1g.avi}
if [ ! -s "$file" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=640x480:rate=25 -t 50 \
        -c:v rawvideo -pix_fmt bgr24 "$file.part.avi"
    mv "$file.part.avi" "$file"
fi

ours=$(mktemp)
theirs=$(mktemp)
trap 'rm -f "$ours" "$theirs"' EXIT
"$build/bin/kestrune-dump" --frames "$file" 2>/dev/null | awk -F, 'NR > 1 { print $3 "," $4 "," $5 }' > "$ours"
ffprobe -v error -show_entries packet=pos,size,flags -of csv=p=0 "$file" |
    awk -F, '{ print $2 "," $1 "," (substr($3, 1, 1) == "K" ? 1 : 0) }' > "$theirs"
echo "file: $file ($(stat -c %s "$file") bytes, $(wc -l < "$theirs") packets)"
if cmp -s "$ours" "$theirs"; then
    echo "frames: the same as ffprobe's packets ($(wc -l < "$ours"))"
else
    echo "frames: differ from ffprobe's packets ($(wc -l < "$ours") against $(wc -l < "$theirs"))"
fi
bench_run "$build/bin/kestrune-dump" --summary "$file"
dump=$bench_seconds
bench_run ffprobe -v error -show_packets "$file"
ffprobe=$bench_seconds
printf 'kestrune-dump --summary  %6.3f s\n' "$dump"
printf 'ffprobe -show_packets    %6.3f s\n' "$ffprobe"
echo "dump / ffprobe $(bench_ratio "$dump" "$ffprobe") (target at most 0.5)"
