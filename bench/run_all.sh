#!/usr/bin/env bash
# Runs every benchmark in one go on this machine and prints their figures
# (ours, peer, ratio, target, peak memory) together in one table at the end.
#   bench/run_all.sh [--clean]
#   TOMEVIEW_BENCH_DATA   folder for the shared big files (default build/bench-data);
#                         files already there are reused
#   TOMEVIEW_BENCH_BUILD  native Release build (default build/bench-native)
#   TOMEVIEW_BENCH_WIN    Windows Release build (default build/bench-win)
#   TOMEVIEW_BENCH_RUNS   repetitions of each timed run (default 3; the shortest counts)
#   TOMEVIEW_BENCH_LOG    everything printed, with the result lines (default build/bench-results.log)
#   --clean               delete the data folder afterwards
set -uo pipefail
clean=0
for a in "$@"; do
    case "$a" in
        --clean) clean=1 ;;
        *) echo "usage: bench/run_all.sh [--clean]" >&2; exit 2 ;;
    esac
done
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
export TOMEVIEW_BENCH_DATA="$TV_BENCH_DATA" TOMEVIEW_BENCH_BUILD="$TV_BENCH_NATIVE" \
    TOMEVIEW_BENCH_WIN="$TV_BENCH_WIN" TOMEVIEW_BENCH_RUNS="$TV_BENCH_RUNS"
cd "$TV_BENCH_SRC"
start=$SECONDS
mkdir -p "$TV_BENCH_DATA"
log="$(tv_bench_abs "${TOMEVIEW_BENCH_LOG:-$TV_BENCH_SRC/build/bench-results.log}")"
: >"$log"
say() { echo "$*" | tee -a "$log"; }

say "tomeview benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
say "data $TV_BENCH_DATA, native build $TV_BENCH_NATIVE, Windows build $TV_BENCH_WIN, runs $TV_BENCH_RUNS"
t=$SECONDS
say "===== building native Release and Windows Release"
tv_bench_native all || { say "FAILED: native build"; exit 1; }
tv_bench_win all || { say "FAILED: Windows build"; exit 1; }
say "built in $((SECONDS - t)) s"

t=$SECONDS
say "===== data files (generated once, reused)"
for name in log-utf8 log-utf16le log-utf16be log-gbk paint-small line-small line-big lines-long \
    dense4-utf8 dense15-utf8 dense4-utf16le dense15-utf16le; do
    f="$(tv_bench_file "$name")" || { say "FAILED: generating $name"; exit 1; }
    say "$(printf '%-15s %9.1f MiB  %s' "$name" "$(awk -v b="$(stat -c %s "$f")" 'BEGIN { print b / 1048576 }')" "$f")"
done
say "data ready in $((SECONDS - t)) s"

status=0
failed=()
run() {  # $1 title, rest: command
    local title=$1 t=$SECONDS rc
    shift
    say ""
    say "===== $title"
    # RESULT lines go to the log only; everything else to both.
    nice "$@" 2>&1 | tee -a "$log" | grep -v '^RESULT|'
    rc=${PIPESTATUS[0]}
    say "($title: $((SECONDS - t)) s)"
    if [ "$rc" != 0 ]; then
        say "FAILED: $title (exit $rc)"
        failed+=("$title")
        status=1
    fi
}
run "index (Open vs wc -l)" bash bench/bench_index.sh
run "find (vs grep -Fic / grep -c)" bash bench/bench_find.sh
run "count in tomeview.exe under Wine (vs grep -Fic)" bash bench/bench_count.sh
run "regular expressions: count natively and in tomeview.exe under Wine (vs grep -E -c, rg)" bash bench/bench_regex.sh
run "matching lines: listing against counting, natively and in tomeview.exe under Wine" bash bench/bench_list.sh
run "following a log (write to view, idle processor time; vs tail -F)" bash bench/bench_follow.sh
run "convert (Save As vs iconv)" bash bench/bench_convert.sh
run "paint (Windows build under Wine)" bash bench/bench_paint.sh
# A program's start under Wine varies from run to run by more than the open
# of the log takes beyond the bare Open: at least five runs each.
run "open (tomeview.exe under Wine vs wc -l)" bash bench/bench_open.sh "$((TV_BENCH_RUNS > 5 ? TV_BENCH_RUNS : 5))"

{
    echo
    echo "================ summary: all figures of this run ================"
    echo "ratio = peer time / our time, measured in the same run (above 1: we are faster)."
    echo "Paint rows: peer = the same frame on the small file, so 1.00 = no growth with size."
    echo "target: lower bound for the ratio where one is set; peak = our process's peak"
    echo "resident memory (under Wine: the whole Wine process)."
    echo
    grep '^RESULT|' "$log" | awk -F'|' '
        function meets(r, t) {
            if (t == "-" || t == "" || r == "-") return "-"
            sub(/^>=/, "", t)
            return (r + 0 >= t + 0) ? "yes" : "NO"
        }
        {
            n++
            for (i = 2; i <= 8; i++) c[n, i] = $i
            c[n, 9] = meets($6, $7)
        }
        END {
            h[2] = "figure"; h[3] = "ours"; h[4] = "peer"; h[5] = "peer tool"; h[6] = "ratio"
            h[7] = "target"; h[8] = "peak MiB"; h[9] = "meets"
            split("2 3 4 5 6 7 9 8", order, " ")
            for (k = 1; k <= 8; k++) { i = order[k]; w[i] = length(h[i]) }
            for (r = 1; r <= n; r++) for (i = 2; i <= 9; i++) if (length(c[r, i]) > w[i]) w[i] = length(c[r, i])
            line = ""
            for (k = 1; k <= 8; k++) {
                i = order[k]
                line = line sprintf(k == 1 ? "%-*s" : (i == 5 ? "  %-*s" : "  %*s"), w[i], h[i])
            }
            print line
            sep = ""
            for (k = 1; k <= 8; k++) { i = order[k]; s = sprintf("%*s", w[i], ""); gsub(/ /, "-", s); sep = sep (k == 1 ? "" : "  ") s }
            print sep
            for (r = 1; r <= n; r++) {
                line = ""
                for (k = 1; k <= 8; k++) {
                    i = order[k]
                    if (k == 1 || i == 5) line = line sprintf(k == 1 ? "%-*s" : "  %-*s", w[i], c[r, i])
                    else line = line sprintf("  %*s", w[i], c[r, i])
                }
                print line
            }
        }'
    echo
    for f in "${failed[@]}"; do echo "FAILED: $f"; done
    echo "total run time: $((SECONDS - start)) s"
} | tee -a "$log"

if [ "$clean" = 1 ]; then
    rm -rf "$TV_BENCH_DATA"
    echo "deleted $TV_BENCH_DATA"
fi
exit $status
