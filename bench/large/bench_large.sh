#!/bin/sh
# The large-file bench: on each 500,000-packet file of make_large_files.sh, side by side in one
# run, the best wall time of RUNS runs (default 3) and the peak resident set of
#   kestrune-dump --summary          the whole analysis: plug-in walk and element database
#   kestrune-bench-walk              the plug-in walk alone, into a sink that only counts
#   ffprobe -v error -show_packets
#   mkvinfo -v -v                    (Matroska only)
#   mediainfo --Full
#   kestrune-bench-insert N          N bare single-row SQLite inserts, N the file's element count
# each also as a ratio to kestrune-dump; then the targets, PASS or FAIL: peak memory at most
# 150 bytes per element + 64 MiB, and dump at most 0.3 x ffprobe on MP4 (plain and fragmented),
# 0.5 x on AVI, 0.7 x on Matroska and no slower than mkvinfo. The targets do not change the exit
# status.
#   bench_large.sh BUILD_DIR [DIR]   (DIR holds the files, default /tmp; made when missing)
set -eu
build=${1:?usage: bench_large.sh BUILD_DIR [DIR]}
dir=${2:-/tmp}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
RUNS=${RUNS:-3}

dump=$build/bin/kestrune-dump
walk=$build/bin/kestrune-bench-walk
insert=$build/bin/kestrune-bench-insert
for program in "$dump" "$walk" "$insert"; do
    if [ ! -x "$program" ]; then
        echo "missing: $program (build it: cmake --build $build)" >&2
        exit 1
    fi
done
[ -x /usr/bin/time ] || echo "missing: /usr/bin/time (Debian package time: apt-get install -y time); no memory figures" >&2
have_mkvinfo=yes
bench_have mkvinfo mkvtoolnix || have_mkvinfo=no
have_mediainfo=yes
bench_have mediainfo mediainfo || have_mediainfo=no
"$here/make_large_files.sh" "$dir" || echo "warning: the files are not as expected (above); measuring them anyway" >&2

messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
echo "best of $RUNS runs; peak memory: the largest peak resident set of the runs"
for name in 500k.mkv 500k.mp4 500k-fragmented.mp4 500k.avi; do
    file=$dir/kestrune-large-$name
    ext=${name##*.}
    echo
    if [ ! -s "$file" ]; then
        echo "$file: missing"
        continue
    fi
    # The plug-in names the format on standard error; only the summary is wanted.
    if ! summary=$("$dump" --summary "$file" 2>"$messages"); then
        echo "$file: kestrune-dump failed: $(cat "$messages")"
        continue
    fi
    elements=$(echo "$summary" | awk '$1 == "elements:" { print $2 }')
    echo "$file, $(stat -c %s "$file") bytes: $(echo "$summary" | paste -s -d ' ' | sed 's/ \([a-z]*:\)/, \1/g')"
    printf '  %-34s %9s %10s %10s %10s\n' "" "seconds" "peak MiB" "time/dump" "mem/dump"
    bench_measure "kestrune-dump --summary" "$dump" --summary "$file"
    dump_seconds=$row_seconds
    dump_kib=$row_kib
    bench_base_seconds=$row_seconds
    bench_base_kib=$row_kib
    bench_print_row
    bench_row "kestrune-bench-walk (walk alone)" "$walk" "$file" 1
    bench_row "ffprobe -v error -show_packets" ffprobe -v error -show_packets "$file"
    ffprobe_seconds=$row_seconds
    mkvinfo_seconds=""
    if [ "$ext" = mkv ] && [ "$have_mkvinfo" = yes ]; then
        bench_row "mkvinfo -v -v" mkvinfo -v -v "$file"
        mkvinfo_seconds=$row_seconds
    fi
    if [ "$have_mediainfo" = yes ]; then
        bench_row "mediainfo --Full" mediainfo --Full "$file"
    fi
    bench_row "sqlite3 insert loop, $elements rows" "$insert" "$elements"

    echo "  targets:"
    limit_kib=$(awk -v n="$elements" 'BEGIN { printf "%.0f", 150 * n / 1024 + 64 * 1024 }')
    bench_check "peak MiB <= 150 B x $elements elements + 64 MiB" "$(bench_mib "$dump_kib")" "$(bench_mib "$limit_kib")"
    case $ext in
        mp4) ffprobe_limit=0.30 ;;
        avi) ffprobe_limit=0.50 ;;
        *) ffprobe_limit=0.70 ;;
    esac
    bench_check "time dump / ffprobe" "$(bench_ratio "$dump_seconds" "$ffprobe_seconds")" "$ffprobe_limit"
    if [ "$ext" = mkv ]; then
        bench_check "time dump / mkvinfo" "$(bench_ratio "$dump_seconds" "$mkvinfo_seconds")" 1.00
    fi
done
exit 0
