#!/usr/bin/env bash
# Count in the program a user runs: tomeview.exe under Wine on the >= 2.15 GB
# UTF-8 log, Count ignoring case through its Find dialog, timed from the click
# to the final status text (count_driver_win.exe), of a rare text (TIMEOUT,
# 0.27 matches a line) and a frequent one (worker, 1.09 a line), against
# LC_ALL=C grep -Fic on the same cached file in the same run (its output goes
# to a file: to /dev/null grep stops at the first match). Beside them the same
# counts through the core alone in the Windows build under Wine (no window,
# title or pump), so that Wine's share shows against the native counts of
# bench_find.sh and the program's own against the core's.
# Ratio = grep time / our time. Counts are the shortest of the runs, all in one
# start of the program.
#   bench/bench_count.sh [runs]          (default TOMEVIEW_BENCH_RUNS, 3)
# Environment: see bench/lib/common.sh; TOMEVIEW_EXE (default tomeview.exe of
# the Windows benchmark build). Runs on this tree's Wine prefix and an Xvfb of
# its own.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
runs="${1:-$TV_BENCH_RUNS}"

exe="${TOMEVIEW_EXE:-}"
if [ -z "$exe" ]; then
    tv_bench_win tomeview count_driver_win
    exe="$TV_BENCH_WIN/tomeview.exe"
else
    tv_bench_win count_driver_win
fi
[ -f "$exe" ] || { echo "bench_count: no program at $exe" >&2; exit 1; }
file="$(tv_bench_file log-utf8)"
out_file="$(mktemp)"
trap 'rm -f "$out_file"; tv_bench_wine_stop' EXIT
tv_bench_wine_start

cat "$file" >/dev/null  # into the page cache
g_rare=$(tv_bench_best "$runs" env LC_ALL=C grep -Fic TIMEOUT "$file")
g_freq=$(tv_bench_best "$runs" env LC_ALL=C grep -Fic worker "$file")
drive() {  # EXE or --bare; sets out, peak
    "$WINE" "$TV_BENCH_WIN/count_driver_win.exe" "$1" "$(tv_winpath "$file")" "$runs" TIMEOUT worker \
        | tr -d '\r' >"$out_file" || { echo "bench_count: the driver failed ($1)" >&2; exit 1; }
    out=$(cat "$out_file")
    peak=$(sed -n 's/^peak_mib=//p' "$out_file")
}
val() {  # output, text, key
    echo "$1" | awk -v t="text=$2" -v k="$3=" '$1 == "count" && $2 == t {
        for (i = 3; i <= NF; i++) if (index($i, k) == 1) print substr($i, length(k) + 1) }'
}
drive "$(tv_winpath "$exe")"; app=$out app_peak=$peak
drive --bare; bare=$out bare_peak=$peak

echo "count ignoring case, $file, $(($(stat -c %s "$file") / 1048576)) MiB, best of $runs runs"
printf '  %-40s %9s %9s %9s %7s\n' "" "ours s" "grep s" "matches" "ratio"
row() {  # label, output, text, grep time
    local s
    s=$(val "$2" "$3" seconds)
    printf '  %-40s %9.3f %9.3f %9s %7s\n' "$1" "$s" "$4" "$(val "$2" "$3" matches)" \
        "$(awk -v g="$4" -v s="$s" 'BEGIN { printf "%.2f", g / s }')"
}
row "tomeview.exe (Find dialog), TIMEOUT" "$app" TIMEOUT "$g_rare"
row "tomeview.exe (Find dialog), worker" "$app" worker "$g_freq"
row "bare count under Wine, TIMEOUT" "$bare" TIMEOUT "$g_rare"
row "bare count under Wine, worker" "$bare" worker "$g_freq"
echo "  tomeview.exe start to finished title $(sed -n 's/^open_seconds=//p' <<<"$app") s;" \
    "peak memory $app_peak MiB (the program), $bare_peak MiB (bare)"

# TIMEOUT is at most once a line, so grep's line count is its count.
ok=1
for t in TIMEOUT worker; do
    [ "$(val "$app" $t matches)" = "$(val "$bare" $t matches)" ] || ok=0
done
[ "$(val "$app" TIMEOUT matches)" = "$(LC_ALL=C grep -Fic TIMEOUT "$file")" ] || ok=0
[ $ok = 1 ] || echo "MISMATCH: the program's counts differ from the core's or grep's" >&2

tv_bench_result "count in tomeview.exe under Wine (Find dialog), TIMEOUT" "$(val "$app" TIMEOUT seconds)" \
    "$g_rare" "grep -Fic, LC_ALL=C" s ">=2" "$app_peak"
tv_bench_result "count in tomeview.exe under Wine (Find dialog), worker" "$(val "$app" worker seconds)" \
    "$g_freq" "grep -Fic, LC_ALL=C" s ">=2" "$app_peak"
tv_bench_result "bare count under Wine (no window), TIMEOUT" "$(val "$bare" TIMEOUT seconds)" \
    "$g_rare" "grep -Fic, LC_ALL=C" s - "$bare_peak"
tv_bench_result "bare count under Wine (no window), worker" "$(val "$bare" worker seconds)" \
    "$g_freq" "grep -Fic, LC_ALL=C" s - "$bare_peak"
[ $ok = 1 ]
