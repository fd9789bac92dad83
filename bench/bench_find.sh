#!/usr/bin/env bash
# Find engine against grep on the same >= 2.15 GB log, in the same run:
#   count ignoring case      vs  grep -Fic TIMEOUT (in C.UTF-8 and in the C locale)
#   count matching case      vs  grep -c TIMEOUT
#   find next across file    vs  grep -c (a text only on the last line)
#   find previous across     vs  grep -c (a text only on the first line)
# Prints times and ratios (grep time / engine time: above 1 means faster
# than grep), each the shortest of TOMEVIEW_BENCH_RUNS runs (default 3), and
# the engine's peak memory.
#   bench/bench_find.sh
# Environment: see bench/lib/common.sh.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"

tv_bench_native find_bench
file="$(tv_bench_file log-utf8)"
out_file="$(mktemp)"
trap 'rm -f "$out_file"' EXIT
bytes=$(stat -c %s "$file")
echo "file: $file, $((bytes / 1048576)) MiB"
cat "$file" >/dev/null  # into the page cache

runs="$TV_BENCH_RUNS"
# grep in a UTF-8 locale folds case by character, as the engine does; in the
# C locale it folds bytes only, which is faster: both are shown.
u8() { LC_ALL=C.UTF-8 "$@"; }
bytes() { LC_ALL=C "$@"; }
g_fic=$(tv_bench_best "$runs" u8 grep -Fic TIMEOUT "$file")
g_fic_c=$(tv_bench_best "$runs" bytes grep -Fic TIMEOUT "$file")
g_c=$(tv_bench_best "$runs" u8 grep -c TIMEOUT "$file")
g_end=$(tv_bench_best "$runs" u8 grep -c NEEDLE-AT-END "$file")
g_start=$(tv_bench_best "$runs" u8 grep -c NEEDLE-AT-START "$file")
n_fic=$(u8 grep -Fic TIMEOUT "$file")
n_c=$(u8 grep -c TIMEOUT "$file")
peak=$(tv_bench_peak "$out_file" "$TV_BENCH_NATIVE/find_bench" "$file" TIMEOUT NEEDLE-AT-END NEEDLE-AT-START "$runs")
engine=$(cat "$out_file")
echo "$engine"
val() { echo "$engine" | awk -v k="$1" '$1 == k { print $2 }'; }
res() { echo "$engine" | awk -v k="$1" '$1 == k { print $3 }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() {  # label, engine key, grep seconds, grep command
    printf '%-28s %9.3f %9.3f %7s  %s\n' "$1" "$(val "$2")" "$3" "$(ratio "$3" "$(val "$2")")" "$4"
}
printf '\n%-28s %9s %9s %7s  %s\n' "operation" "engine s" "peer s" "ratio" "peer"
row "count, ignoring case" count_ignore_case "$g_fic" "grep -Fic TIMEOUT (C.UTF-8)"
row "count, ignoring case" count_ignore_case "$g_fic_c" "grep -Fic TIMEOUT (LC_ALL=C)"
row "count, matching case" count_match_case "$g_c" "grep -c TIMEOUT"
row "find next across the file" find_next_across "$g_end" "grep -c NEEDLE-AT-END"
row "find previous across" find_previous_across "$g_start" "grep -c NEEDLE-AT-START"
printf '%-28s %9.3f %9s %7s  %s\n' "walk every line (no search)" "$(val walk)" "-" "-" "reading and decoding only"
echo
echo "counts: engine $(res count_ignore_case) ignoring case, grep -Fic $n_fic lines;" \
    "engine $(res count_match_case) matching case, grep -c $n_c lines"
echo "(each log line holds at most one occurrence, so the counts agree)"
# The file ends with a line end, so its last line is the empty one after NEEDLE-AT-END.
last=$(echo "$engine" | awk '$1 == "open" { print $3 - 1 }')
ok=1
[ "$(res count_ignore_case)" = "$n_fic" ] && [ "$(res count_match_case)" = "$n_c" ] || ok=0
[ "$(res find_next_across)" = "line:$last" ] && [ "$(res find_previous_across)" = "line:1" ] || ok=0
if [ $ok = 0 ]; then
    echo "MISMATCH: the engine's counts or found lines differ from grep's" >&2
fi

tv_bench_result "count, ignoring case" "$(val count_ignore_case)" "$g_fic" "grep -Fic, C.UTF-8" s ">=2" "$peak"
tv_bench_result "count, ignoring case" "$(val count_ignore_case)" "$g_fic_c" "grep -Fic, LC_ALL=C" s ">=2" "$peak"
tv_bench_result "count, matching case" "$(val count_match_case)" "$g_c" "grep -c" s ">=1.5" "$peak"
tv_bench_result "FindNext across the file" "$(val find_next_across)" "$g_end" "grep -c" s ">=1" "$peak"
tv_bench_result "FindPrevious across the file" "$(val find_previous_across)" "$g_start" "grep -c" s - "$peak"
[ $ok = 1 ]
