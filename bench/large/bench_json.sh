#!/bin/sh
# The JSON output bench: on each FILE, the best wall time of RUNS runs (default 3) and the peak
# resident set of
#   kestrune-dump --json             the element tree as JSON, written as the rows are read
#   kestrune-dump                    the element tree as indented text
#   kestrune-dump --summary          the analysis alone, what both of the above spend first
#   ffprobe -v error -show_packets -show_streams -of json
# each also as a ratio to kestrune-dump --json, and the peak of --json beyond --summary per
# element: what printing costs, which should not grow with the file. All output is thrown away.
#   bench_json.sh BUILD_DIR [FILE...]   (default the files of make_large_files.sh in /tmp/large,
#                                        made when missing)
set -eu
build=${1:?usage: bench_json.sh BUILD_DIR [FILE...]}
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../common.sh"
RUNS=${RUNS:-3}

dump=$build/bin/kestrune-dump
if [ ! -x "$dump" ]; then
    echo "missing: $dump (build it: cmake --build $build --target kestrune-dump)" >&2
    exit 1
fi
[ -x /usr/bin/time ] || echo "missing: /usr/bin/time (Debian package time: apt-get install -y time); no memory figures" >&2
have_ffprobe=yes
bench_have ffprobe ffmpeg || have_ffprobe=no
if [ "$#" -eq 0 ]; then
    dir=/tmp/large
    "$here/make_large_files.sh" "$dir" || echo "warning: the files are not as expected (above); measuring them anyway" >&2
    set -- "$dir/kestrune-large-500k.mkv" "$dir/kestrune-large-500k.mp4" \
        "$dir/kestrune-large-500k-fragmented.mp4" "$dir/kestrune-large-500k.avi"
fi

bench_label_width=52
messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
echo "$dump; best of $RUNS runs; peak memory: the largest peak resident set of the runs"
for file in "$@"; do
    echo
    if [ ! -s "$file" ]; then
        echo "$file: missing"
        continue
    fi
    if ! summary=$("$dump" --summary "$file" 2>"$messages"); then
        echo "$file: kestrune-dump failed: $(cat "$messages")"
        continue
    fi
    elements=$(echo "$summary" | awk '$1 == "elements:" { print $2 }')
    echo "$file, $(stat -c %s "$file") bytes, $elements elements"
    printf '  %-52s %9s %10s %10s %10s\n' "" "seconds" "peak MiB" "time/json" "mem/json"
    bench_measure "kestrune-dump --json" "$dump" --json "$file"
    json_kib=$row_kib
    bench_base_seconds=$row_seconds
    bench_base_kib=$row_kib
    bench_print_row
    bench_row "kestrune-dump (tree)" "$dump" "$file"
    bench_measure "kestrune-dump --summary" "$dump" --summary "$file"
    summary_kib=$row_kib
    bench_print_row
    if [ "$have_ffprobe" = yes ]; then
        bench_row "ffprobe -v error -show_packets -show_streams -of json" \
            ffprobe -v error -show_packets -show_streams -of json "$file"
    fi
    awk -v j="$json_kib" -v s="$summary_kib" -v n="$elements" 'BEGIN {
        if (j == "" || s == "" || n + 0 == 0) print "  --json beyond --summary: -"
        else printf "  --json beyond --summary: %.1f MiB, %.0f bytes per element\n", (j - s) / 1024, (j - s) * 1024 / n
    }'
done
exit 0
