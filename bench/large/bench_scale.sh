#!/bin/sh
# The scale bench: files of about 1, 10 and 100 million elements, each an AVI and a Matroska
# file of tiny frames (2x2 grey raw video at 1000 frames a second, made with ffmpeg and kept in
# DIR), analysed once by kestrune-dump --summary. An AVI frame makes 9 elements (its chunk and
# its idx1 entry), a Matroska one 29 (its SimpleBlock and its cue point), so the AVI files hold
# 111,111 frames a million elements and the Matroska files 34,483. For each file it prints the
# element count, the wall time, the time per million elements, the peak resident set and the
# bytes per element above 64 MiB, with PASS or FAIL for the target of at most 150 bytes per
# element + 64 MiB.
#   bench_scale.sh BUILD_DIR [DIR] [MILLIONS...]   (DIR default /tmp; MILLIONS default 1 10 100)
# The largest files take a few minutes to make and 1.2 GB of disk together; their analysis
# needs about 16 GB of memory.
set -eu
build=${1:?usage: bench_scale.sh BUILD_DIR [DIR] [MILLIONS...]}
dir=${2:-/tmp}
[ $# -ge 2 ] && shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
bench_have ffmpeg ffmpeg || exit 1
dump=$build/bin/kestrune-dump
[ -x "$dump" ] || { echo "missing: $dump (build it: cmake --build $build)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package time: apt-get install -y time)" >&2; exit 1; }
[ $# -gt 0 ] || set -- 1 10 100
mkdir -p "$dir"

make_file() { # FRAMES SUFFIX
    file=$dir/kestrune-scale-$1.$2
    if [ ! -s "$file" ]; then
        ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
            -i "color=c=gray:s=2x2:r=1000,trim=end_frame=$1" -c:v rawvideo -pix_fmt gray \
            "$file.part.$2"
        mv "$file.part.$2" "$file"
    fi
    echo "$file"
}

printf '%-34s %12s %9s %10s %10s %9s\n' file elements seconds "s/M elem" "peak MiB" "B/elem"
for millions in "$@"; do
    for suffix in avi mkv; do
        case $suffix in
        avi) frames=$((millions * 111111)) ;;
        *) frames=$((millions * 34483)) ;;
        esac
        file=$(make_file "$frames" "$suffix")
        start=$(date +%s.%N)
        if ! /usr/bin/time -f %M -o "$dir/scale.rss" "$dump" --summary "$file" >"$dir/scale.out" 2>/dev/null; then
            echo "$file: kestrune-dump failed" >&2
            continue
        fi
        seconds=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
        elements=$(awk '/^elements:/ { print $2 }' "$dir/scale.out")
        awk -v f="$(basename "$file")" -v n="$elements" -v s="$seconds" -v k="$(tail -n 1 "$dir/scale.rss")" 'BEGIN {
            perElement = (k * 1024 - 64 * 1048576) / n
            printf "%-34s %12d %9.2f %10.2f %10.1f %9.1f %s\n", f, n, s, s / (n / 1e6), k / 1024, perElement,
                perElement <= 150 ? "PASS" : "FAIL"
        }'
    done
done
rm -f "$dir/scale.rss" "$dir/scale.out"
