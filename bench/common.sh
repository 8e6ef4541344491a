# Timing helpers shared by the bench scripts; sourced, POSIX sh.
#
#   bench_run CMD [ARG...]   runs CMD $RUNS times (default 3), its output thrown away; sets
#                            bench_seconds (the best wall time) and bench_kib (the largest peak
#                            resident set in KiB, empty without /usr/bin/time). When a run fails
#                            both stay empty and the command's status is returned, so a broken
#                            tool is never reported with a time.
#   bench_ratio A B          A / B with two decimals; "-" when either is missing or B is 0.
#   bench_check TEXT VALUE LIMIT
#                            one target line: TEXT, VALUE <= LIMIT and PASS, FAIL or "n/a"
#                            (VALUE missing).
#   bench_have TOOL PACKAGE  true when TOOL is on the path; otherwise says which Debian package
#                            holds it, on standard error.
#   bench_mib KIB            KiB as MiB with one decimal; "-" when missing.
#   bench_measure LABEL CMD [ARG...]
#                            bench_run as one table row: sets row_label, row_status,
#                            row_seconds and row_kib.
#   bench_print_row          prints that row, with its ratios to bench_base_seconds and
#                            bench_base_kib (the row the others compare with), the label
#                            bench_label_width characters wide (default 34).
#   bench_row LABEL CMD [ARG...]
#                            bench_measure, then bench_print_row.

bench_run() {
    bench_seconds=""
    bench_kib=""
    _bench_best=""
    _bench_peak=""
    _bench_i=0
    _bench_rss=$(mktemp)
    while [ "$_bench_i" -lt "${RUNS:-3}" ]; do
        _bench_status=0
        _bench_start=$(date +%s.%N)
        if [ -x /usr/bin/time ]; then
            /usr/bin/time -f %M -o "$_bench_rss" "$@" >/dev/null 2>&1 || _bench_status=$?
        else
            "$@" >/dev/null 2>&1 || _bench_status=$?
        fi
        _bench_end=$(date +%s.%N)
        if [ "$_bench_status" -ne 0 ]; then
            rm -f "$_bench_rss"
            return "$_bench_status"
        fi
        _bench_best=$(awk -v s="$_bench_start" -v e="$_bench_end" -v b="$_bench_best" \
            'BEGIN { t = e - s; if (b == "" || t < b + 0) b = t; printf "%.6f", b }')
        if [ -x /usr/bin/time ]; then
            # The last line is the figure; a line above it may say how the command ended.
            _bench_kib=$(tail -n 1 "$_bench_rss")
            if [ -z "$_bench_peak" ] || [ "$_bench_kib" -gt "$_bench_peak" ]; then
                _bench_peak=$_bench_kib
            fi
        fi
        _bench_i=$((_bench_i + 1))
    done
    rm -f "$_bench_rss"
    bench_seconds=$_bench_best
    bench_kib=$_bench_peak
    return 0
}

bench_ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "-"; else printf "%.2f\n", a / b }'
}

bench_check() {
    awk -v text="$1" -v value="$2" -v limit="$3" 'BEGIN {
        if (value == "" || value == "-" || limit == "" || limit == "-") verdict = "n/a"
        else verdict = value + 0 <= limit + 0 ? "PASS" : "FAIL"
        printf "  %-52s %10s <= %-10s %s\n", text, value == "" ? "-" : value, limit == "" ? "-" : limit, verdict
    }'
}

bench_have() {
    if command -v "$1" >/dev/null 2>&1; then
        return 0
    fi
    echo "missing: $1 (Debian package $2: apt-get install -y $2)" >&2
    return 1
}

bench_mib() {
    awk -v k="$1" 'BEGIN { if (k == "") print "-"; else printf "%.1f\n", k / 1024 }'
}

bench_measure() {
    row_label=$1
    shift
    row_status=0
    bench_run "$@" || row_status=$?
    row_seconds=$bench_seconds
    row_kib=$bench_kib
}

bench_print_row() {
    if [ "$row_status" -ne 0 ]; then
        printf "  %-${bench_label_width:-34}s failed (exit status %s)\n" "$row_label" "$row_status"
        return 0
    fi
    printf "  %-${bench_label_width:-34}s %9.3f %10s %10s %10s\n" "$row_label" "$row_seconds" \
        "$(bench_mib "$row_kib")" "$(bench_ratio "$row_seconds" "$bench_base_seconds")" \
        "$(bench_ratio "$row_kib" "$bench_base_kib")"
}

bench_row() {
    bench_measure "$@"
    bench_print_row
}
