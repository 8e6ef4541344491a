#!/bin/sh
# The shared timing helpers of the bench scripts: a failing tool is never reported with a
# time, the best run and the largest memory are the ones kept, and targets compare numbers.
#   test_common.sh PATH/TO/bench/common.sh
set -u
. "${1:?usage: test_common.sh COMMON_SH}"
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expect() { # TEXT ACTUAL EXPECTED
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: got '$2', expected '$3'"
        failures=$((failures + 1))
    fi
}

# A command whose n-th run (counted in a file) does what the n-th argument says.
cat > "$scratch/script" <<'SCRIPT'
#!/bin/sh
count=$(cat "$0.count" 2>/dev/null || echo 0)
count=$((count + 1))
echo "$count" > "$0.count"
shift $((count - 1))
case $1 in
    slow) sleep 0.4 ;;
    fast) sleep 0.05 ;;
    fail) exit 3 ;;
    big) dd if=/dev/zero of=/dev/null bs=40M count=1 2>/dev/null ;;
esac
SCRIPT
chmod +x "$scratch/script"
runs() { rm -f "$scratch/script.count"; RUNS=3 bench_run "$scratch/script" "$@"; }

runs slow fast fast
expect "status of three good runs" $? 0
expect "the best run is kept" "$(awk -v s="$bench_seconds" 'BEGIN { print (s >= 0.04 && s < 0.3) ? "fast" : s }')" fast

runs fast fail fast
expect "status when the second run fails" $? 3
expect "no time for a failing tool" "$bench_seconds" ""
expect "no memory for a failing tool" "$bench_kib" ""

RUNS=2 bench_run /nonexistent/tool
expect "status of a missing tool" "$([ $? -ne 0 ] && echo failed)" failed

if [ -x /usr/bin/time ]; then
    runs fast big fast
    expect "the largest peak memory is kept" "$([ "${bench_kib:-0}" -gt 40000 ] && echo big)" big
fi

expect "ratio" "$(bench_ratio 1.5 0.5)" 3.00
expect "ratio without a value" "$(bench_ratio "" 0.5)" -
expect "ratio over zero" "$(bench_ratio 1.5 0)" -

verdict() { bench_check "$@" | awk '{ print $NF }'; }
expect "below the limit" "$(verdict time 0.29 0.30)" PASS
expect "at the limit" "$(verdict time 0.30 0.30)" PASS
expect "numbers, not text" "$(verdict memory 10.0 9.5)" FAIL
expect "numbers, not text, the other way" "$(verdict memory 9.5 10.0)" PASS
expect "no value" "$(verdict time - 0.30)" n/a
expect "no limit" "$(verdict time 0.2 "")" n/a

bench_have sh coreutils
expect "a tool that is there" $? 0
message=$(bench_have kestrune-no-such-tool some-package 2>&1)
expect "a missing tool" $? 1
expect "the package is named" "$(echo "$message" | grep -c 'some-package')" 1

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
