#!/bin/sh
# The scale bench: files of about 1, 10 and 100 million elements, each an AVI and a Matroska
# file of tiny frames (2x2 grey raw video at 1000 frames a second, made with ffmpeg and kept in
# DIR), analysed once by kestrune-dump --summary. For each it prints the element count, the
# wall time, the time per million elements, the peak resident set and the bytes per element
# above 64 MiB, with PASS or FAIL for the target of at most 150 bytes per element + 64 MiB.
#   bench_scale.sh BUILD_DIR [DIR] [FRAMES...]   (DIR default /tmp; FRAMES default
#                                                 120000 1200000 12000000)
# Making the largest files takes a few minutes and about 2 GB of disk each.
set -eu
build=${1:?usage: bench_scale.sh BUILD_DIR [DIR] [FRAMES...]}
dir=${2:-/tmp}
[ $# -ge 2 ] && shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
bench_have ffmpeg ffmpeg
dump=$build/bin/kestrune-dump
[ -x "$dump" ] || { echo "missing: $dump (build it: cmake --build $build)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package time: apt-get install -y time)" >&2; exit 1; }
[ $# -gt 0 ] || set -- 120000 1200000 12000000
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
for frames in "$@"; do
    for suffix in avi mkv; do
        file=$(make_file "$frames" "$suffix")
        RUNS=1 bench_run "$dump" --summary "$file" || { echo "$file: kestrune-dump failed" >&2; continue; }
        elements=$("$dump" --summary "$file" | awk '/^elements:/ { print $2 }')
        awk -v f="$(basename "$file")" -v n="$elements" -v s="$bench_seconds" -v k="$bench_kib" 'BEGIN {
            perElement = (k * 1024 - 64 * 1048576) / n
            printf "%-34s %12d %9.2f %10.2f %10.1f %9.1f %s\n", f, n, s, s / (n / 1e6), k / 1024, perElement,
                perElement <= 150 ? "PASS" : "FAIL"
        }'
    done
done
