#!/bin/bash
# Save As conversion against iconv on the same files in the same run:
# UTF-8 -> UTF-16 LE on the >= 2.15 GB log and GBK (ANSI) -> UTF-8 on the same
# lines in GBK. Prints seconds, throughput, the ratio iconv time / our time
# (above 1: faster than iconv) and the peak memory of both; then the same
# conversions in the Windows build under Wine (bench/convert_bench_win.cpp),
# which converts through the Windows calls, against the same iconv time.
#   bench/bench_convert.sh
# Environment: see bench/lib/common.sh. The outputs are written to the data
# folder and deleted after each run.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"

tv_bench_native convert_bench
tv_bench_win convert_bench_win
utf8="$(tv_bench_file log-utf8)"
gbk="$(tv_bench_file log-gbk)"
data="$TV_BENCH_DATA"
trap 'rm -f "$data/ours.out" "$data/iconv.out" "$data/convert.txt"; tv_bench_wine_stop' EXIT
tv_bench_wine_start
size8=$(stat -c %s "$utf8") sizeg=$(stat -c %s "$gbk")
echo "files: UTF-8 $((size8 >> 20)) MiB, GBK $((sizeg >> 20)) MiB (warm page cache, outputs in the same folder)"

run() {  # name, file, ours-source, ours-target, iconv-from, iconv-to
    local name=$1 file=$2 size ti to pi po
    size=$(stat -c %s "$file")
    cat "$file" >/dev/null
    local s e
    s=$(date +%s.%N)
    pi=$(tv_bench_peak "$data/iconv.out" iconv -f "$5" -t "$6" "$file")
    e=$(date +%s.%N)
    ti=$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')
    rm -f "$data/iconv.out"
    # The conversion alone, as Save As runs it on an open document.
    po=$(tv_bench_peak "$data/convert.txt" "$TV_BENCH_NATIVE/convert_bench" "$file" "$3" "$4" "$data/ours.out")
    to=$(awk '{ print $1 }' "$data/convert.txt")
    rm -f "$data/ours.out"
    awk -v n="$name" -v ti="$ti" -v to="$to" -v sz="$size" -v pi="$pi" -v po="$po" 'BEGIN {
        printf "%-20s iconv %6.2f s (%5.0f MB/s, peak %6.0f MiB)   tomeview %6.2f s (%5.0f MB/s, peak %4.0f MiB)   ratio %.2f\n",
            n, ti, sz / ti / 1e6, pi, to, sz / to / 1e6, po, ti / to }'
    tv_bench_result "Save As $name (native stand-in)" "$to" "$ti" "iconv" s - "$po"
    # The Windows build under Wine: the conversion as the program runs it.
    local tw pw
    pw=$(tv_bench_peak "$data/convert.txt" "$WINE" "$TV_BENCH_WIN/convert_bench_win.exe" "$(tv_winpath "$file")" "$3" "$4" \
        "$(tv_winpath "$data/ours.out")")
    tw=$(awk '{ print $1 }' "$data/convert.txt")
    rm -f "$data/ours.out"
    awk -v n="$name" -v ti="$ti" -v tw="$tw" -v sz="$size" 'BEGIN {
        printf "%-20s Windows build under Wine %6.2f s (%5.0f MB/s)   ratio %.2f\n", n, tw, sz / tw / 1e6, ti / tw }'
    tv_bench_result "Save As $name, Windows build under Wine" "$tw" "$ti" "iconv" s ">=1.5" "$pw"
}
run "UTF-8 -> UTF-16 LE" "$utf8" utf8 utf16le UTF-8 UTF-16LE
run "GBK -> UTF-8" "$gbk" ansi utf8 GBK UTF-8
