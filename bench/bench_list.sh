#!/usr/bin/env bash
# Listing the lines that match, against counting the same text, on the
# >= 2.15 GB UTF-8 log ignoring case: a rare word (TIMEOUT, in 27 % of the
# lines) and a frequent one (worker, in every line). Natively (find_bench,
# into the program's list of line numbers) and in tomeview.exe under Wine
# through its Find dialog (count_driver_win.exe, from the click to the final
# status text; "first" is the time to the first progress that showed listed
# rows). For reference, in the same run on the same cached file: LC_ALL=C
# grep -ic and grep -iF writing the lines to a file (to /dev/null grep stops
# at the first match).
# Ratio = count time / listing time; the target is a listing within 1.2 x
# its count (ratio >= 0.83), the first rows within 0.5 s.
#   bench/bench_list.sh [runs]          (default TOMEVIEW_BENCH_RUNS, 3)
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
runs="${1:-$TV_BENCH_RUNS}"

tv_bench_native find_bench
tv_bench_win tomeview count_driver_win
exe="$TV_BENCH_WIN/tomeview.exe"
file="$(tv_bench_file log-utf8)"
out_file="$(mktemp)"
lines_file="$(mktemp)"
trap 'rm -f "$out_file" "$lines_file"; tv_bench_wine_stop' EXIT
tv_bench_wine_start

cat "$file" >/dev/null  # into the page cache
"$WINE" "$TV_BENCH_WIN/count_driver_win.exe" "$(tv_winpath "$exe")" "$(tv_winpath "$file")" "$runs" \
    TIMEOUT list:TIMEOUT worker list:worker | tr -d '\r' >"$out_file" ||
    { echo "bench_list: the driver failed" >&2; exit 1; }
app=$(cat "$out_file")
app_peak=$(sed -n 's/^peak_mib=//p' <<<"$app")
val() {  # output, text, key
    echo "$1" | awk -v t="text=$2" -v k="$3=" '$1 == "count" && $2 == t {
        for (i = 3; i <= NF; i++) if (index($i, k) == 1) print substr($i, length(k) + 1) }'
}
native() {  # text, op: seconds and result
    "$TV_BENCH_NATIVE/find_bench" "$file" "$1" x x "$runs" "$2" | awk -v op="$2" '$1 == op { print $2, $3 }'
}

echo "listing matching lines against counting, ignoring case, $file, $(($(stat -c %s "$file") / 1048576)) MiB, best of $runs runs"
printf '  %-10s %-22s %9s %9s %9s %11s %7s\n' "text" "where" "count s" "list s" "first s" "lines" "ratio"
ok=1
for t in TIMEOUT worker; do
    read -r nc _ <<<"$(native "$t" count_ignore_case)"
    read -r nl nlines <<<"$(native "$t" list_ignore_case)"
    ec=$(val "$app" "$t" seconds) el=$(val "$app" "list:$t" seconds)
    first=$(val "$app" "list:$t" first) elines=$(val "$app" "list:$t" matches)
    gc=$(tv_bench_best "$runs" env LC_ALL=C grep -ic "$t" "$file")
    gl=$(tv_bench_best "$runs" sh -c 'LC_ALL=C grep -iF "$1" "$2" >"$3"' sh "$t" "$file" "$lines_file")
    want=$(LC_ALL=C grep -ic "$t" "$file")
    [ "$nlines" = "$want" ] && [ "$elines" = "$want" ] || ok=0
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
    printf '  %-10s %-22s %9.3f %9.3f %9s %11s %7s\n' "$t" "native core" "$nc" "$nl" - "$nlines" "$(ratio "$nc" "$nl")"
    printf '  %-10s %-22s %9.3f %9.3f %9.3f %11s %7s\n' "$t" "tomeview.exe (dialog)" "$ec" "$el" "$first" "$elines" \
        "$(ratio "$ec" "$el")"
    printf '  %-10s %-22s %9.3f %9.3f %9s %11s %7s\n' "$t" "grep -ic / grep -iF" "$gc" "$gl" - "$want" "$(ratio "$gc" "$gl")"
    tv_bench_result "list matching lines, native core, $t" "$nl" "$nc" "its count (same engine)" s ">=0.83" -
    tv_bench_result "list matching lines in tomeview.exe under Wine, $t" "$el" "$ec" "its count (same dialog)" s \
        ">=0.83" "$app_peak"
    tv_bench_result "list matching lines in tomeview.exe under Wine, $t" "$el" "$gl" "grep -iF to a file, LC_ALL=C" s \
        - "$app_peak"
    tv_bench_result "first listed rows in tomeview.exe under Wine, $t" "$first" 0.5 "the 0.5 s target" s ">=1.0" \
        "$app_peak"
done
echo "  tomeview.exe peak memory $app_peak MiB"
[ $ok = 1 ] || echo "MISMATCH: the lines listed differ from grep -ic's count" >&2
[ $ok = 1 ]
