#!/usr/bin/env bash
# Index benchmark: TextDocument::Open against `wc -l` on the same cached
# files, a >= 2.15 GB CR LF log in UTF-8 and its UTF-16 LE variant, plus the
# time of GetLineText at random lines and the peak memory of the process.
# Ratio = wc -l time / open time (the share of wc -l's speed).
#   bench/bench_index.sh
# Environment: see bench/lib/common.sh (TOMEVIEW_BENCH_DATA, TOMEVIEW_BENCH_BUILD,
# TOMEVIEW_BENCH_RUNS).
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"

tv_bench_native index_bench
LOG8="$(tv_bench_file log-utf8)"
LOG16="$(tv_bench_file log-utf16le)"
out_file="$(mktemp)"
trap 'rm -f "$out_file"' EXIT

report() {  # $1 label, $2 file, $3 target ratio
    local wc_s out open_s peak us
    cat "$2" >/dev/null
    wc_s=$(tv_bench_best "$TV_BENCH_RUNS" wc -l "$2")
    peak=$(tv_bench_peak "$out_file" "$TV_BENCH_NATIVE/index_bench" "$2" "$TV_BENCH_RUNS" 2000)
    out=$(cat "$out_file")
    open_s=$(echo "$out" | sed -n 's/^open_seconds=//p')
    us=$(echo "$out" | sed -n 's/^getlinetext_avg_us=//p')
    echo "== $1: $2"
    echo "$out" | sed 's/^/   /'
    printf '   wc_l_seconds=%.4f\n' "$wc_s"
    printf '   ratio_to_wc_l=%.3f (target >= %s)\n' "$(awk -v w="$wc_s" -v o="$open_s" 'BEGIN { print w / o }')" "$3"
    tv_bench_result "index (Open) $1" "$open_s" "$wc_s" "wc -l" s ">=$3" "$peak"
    tv_bench_result "GetLineText, random lines, $1" "$us" - - us - "$peak"
}

report "UTF-8 CR LF" "$LOG8" 0.8
report "UTF-16 LE" "$LOG16" 0.8
# Dense lines: the scan's cost must not grow with the number of lines.
for d in dense4-utf8 dense15-utf8 dense4-utf16le dense15-utf16le; do
    report "$d" "$(tv_bench_file "$d")" 0.5
done
