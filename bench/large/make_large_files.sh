#!/bin/sh
# Makes the four large files of the large-file bench in DIR (default /tmp), each with about
# 500,000 packets, through the per-format recipes:
#   kestrune-large-500k.mkv   250,000 H.264 frames + 250,001 Opus packets  (5000 s, 20 MB)
#   kestrune-large-500k.mp4   463,800 H.264 samples + 36,236 AAC samples   (4638 s, 19 MB)
#   kestrune-large-500k-fragmented.mp4
#                             the same samples copied into movie fragments, one for every
#                             key frame (every 2.5 s): 1856 moof boxes, base offsets from the
#                             moof, a random access box at the end (19 MB)
#   kestrune-large-500k.avi   250,000 MPEG-4 frames + 250,000 PCM chunks   (5000 s, 109 MB),
#                             an idx1 entry for each
# Files already there are kept. Every file's packets are counted with ffprobe and printed; a
# file more than 1% away from 500,000 packets makes the script fail.
#   make_large_files.sh [DIR]
set -eu
dir=${1:-/tmp}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
bench_have ffmpeg ffmpeg
bench_have ffprobe ffmpeg
mkdir -p "$dir"

"$here/../mkv/make_bench_file.sh" "$dir/kestrune-large-500k.mkv" 5000 >/dev/null
"$here/../iso/make_bench_file.sh" "$dir/kestrune-large-500k.mp4" 4638 >/dev/null
"$here/../avi/make_bench_file.sh" "$dir/kestrune-large-500k.avi" 5000 >/dev/null
fragmented=$dir/kestrune-large-500k-fragmented.mp4
if [ ! -s "$fragmented" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y -i "$dir/kestrune-large-500k.mp4" -map 0 -c copy \
        -movflags frag_keyframe+empty_moov+default_base_moof "$fragmented.part.mp4"
    mv "$fragmented.part.mp4" "$fragmented"
fi

status=0
for name in 500k.mkv 500k.mp4 500k-fragmented.mp4 500k.avi; do
    file=$dir/kestrune-large-$name
    counts=$(ffprobe -v error -count_packets -show_entries stream=index,codec_type,nb_read_packets \
        -of csv=p=0 "$file")
    total=$(echo "$counts" | awk -F, '{ total += $3 } END { print total + 0 }')
    streams=$(echo "$counts" | awk -F, '{ printf "%s%s %s", (NR > 1 ? ", " : ""), $2, $3 }')
    echo "$file: $(stat -c %s "$file") bytes, $total packets ($streams)"
    if ! awk -v n="$total" 'BEGIN { exit !(n >= 495000 && n <= 505000) }'; then
        echo "$file: expected about 500,000 packets; remove it to make it again" >&2
        status=1
    fi
done
exit "$status"
