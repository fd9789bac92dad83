#!/usr/bin/env bash
# Opening benchmark: time from starting tomeview.exe under Wine on the
# >= 2.15 GB log to the finished caption, against `wc -l` on the same cached
# file in the same run, and against the bare TextDocument::Open of the
# Windows build under Wine (open_bench_win.exe: no window, title or pump).
# Also prints the start-up time without a file, so Wine's own share shows,
# and the time to the finished title of the 1 MiB head of the log, which holds
# every cost of an open that does not grow with the file (showing the window,
# loading the fonts, drawing the first screen): the no-file start-up ends
# before the window is shown and drawn. And the program's peak memory (VmHWM).
# Then the same opens of 2 GiB of 4-byte and of 15-byte lines (not with
# TOMEVIEW_BENCH_FILE), where the cost per line shows.
# Ratio = wc -l time / open time; against the bare Open, bare / ours.
#   bench/bench_open.sh [runs]          (default TOMEVIEW_BENCH_RUNS, 3; the best counts)
# Environment: see bench/lib/common.sh; TOMEVIEW_EXE (default tomeview.exe of
# the Windows benchmark build), TOMEVIEW_BENCH_FILE (default the shared log).
# Runs on this tree's Wine prefix and an Xvfb of its own.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
runs="${1:-$TV_BENCH_RUNS}"

exe="${TOMEVIEW_EXE:-}"
if [ -z "$exe" ]; then
    tv_bench_win tomeview open_bench_win
    exe="$TV_BENCH_WIN/tomeview.exe"
else
    tv_bench_win open_bench_win
fi
[ -f "$exe" ] || { echo "bench_open: no program at $exe" >&2; exit 1; }
file="${TOMEVIEW_BENCH_FILE:-$(tv_bench_file log-utf8)}"
file="$(tv_bench_abs "$file")"

app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
    tv_bench_wine_stop
    return 0
}
trap cleanup EXIT
tv_bench_wine_start

winfile="$(tv_winpath "$file")"
finished="$winfile - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org"
small="$(tv_winpath "$(tv_bench_file paint-small)")"
small_finished="$small - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org"
startup="tomeview - 超级文本浏览器-官网：https://tomeview.example.org"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -1; }

# run_app TITLE [file]: sets secs to the seconds from the start of the program
# to TITLE, and hwm to the program's peak resident memory in MiB. The window
# is looked for every 20 ms; then its title changes are waited for (xprop
# -spy), not polled, so that measuring takes no processor time from the open.
secs=0 hwm=0
run_app() {
    local want="$1"; shift
    local t0 t="" w="" line spy_fd spy_pid
    t0="$(now)"
    "$WINE" "$exe" "$@" >/dev/null 2>&1 &
    app_pid=$!
    while [ -z "$w" ]; do
        w="$(xdotool search --all --pid "$app_pid" --name 'omeview' 2>/dev/null | head -1 || true)"
        kill -0 "$app_pid" 2>/dev/null || { echo "bench_open: the program ended early" >&2; exit 1; }
        [ -n "$w" ] || sleep 0.02
    done
    exec {spy_fd}< <(exec xprop -spy -id "$w" _NET_WM_NAME 2>/dev/null)
    spy_pid=$!
    # xprop prints the title it finds, then one line per change.
    while read -r -u "$spy_fd" line; do
        if [ "$(xdotool getwindowname "$w" 2>/dev/null || true)" = "$want" ]; then t="$(now)"; break; fi
    done
    kill "$spy_pid" 2>/dev/null || true
    exec {spy_fd}<&-
    # The window went away under the spy (Wine made a new one): poll instead.
    while [ -z "$t" ]; do
        w="$(xdotool search --all --pid "$app_pid" --name 'omeview' 2>/dev/null | head -1 || true)"
        if [ -n "$w" ] && [ "$(xdotool getwindowname "$w" 2>/dev/null || true)" = "$want" ]; then t="$(now)"; fi
        kill -0 "$app_pid" 2>/dev/null || { echo "bench_open: the program ended early" >&2; exit 1; }
        [ -n "$t" ] || sleep 0.02
    done
    hwm=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$app_pid/status" 2>/dev/null || echo 0)
    kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null || true
    app_pid=""
    secs="$(elapsed "$t0" "$t")"
}

cat "$file" >/dev/null                  # into the page cache
run_app "$startup"                      # Wine server and prefix warm
wc_times=() open_times=() start_times=() small_times=() bare_times=() peak=0
for _ in $(seq "$runs"); do
    t0="$(now)"; wc -l "$file" >/dev/null; t1="$(now)"
    wc_times+=("$(elapsed "$t0" "$t1")")
    bare_times+=("$("$WINE" "$TV_BENCH_WIN/open_bench_win.exe" "$winfile" 1 2>/dev/null |
        sed -n 's/^open_seconds=//p' | tr -d '\r')")
    run_app "$startup"; start_times+=("$secs")
    run_app "$small_finished" "$small"; small_times+=("$secs")
    run_app "$finished" "$winfile"; open_times+=("$secs")
    peak=$(awk -v a="$peak" -v b="$hwm" 'BEGIN { print (b > a ? b : a) }')
done
wc_best="$(best "${wc_times[@]}")"
open_best="$(best "${open_times[@]}")"
start_best="$(best "${start_times[@]}")"
bare_best="$(best "${bare_times[@]}")"
small_best="$(best "${small_times[@]}")"
size="$(stat -c %s "$file")"
size_gb="$(awk -v b="$size" 'BEGIN { printf "%.2f", b / 1e9 }')"
echo "open benchmark: ${size_gb} GB CR LF log, best of $runs runs"
printf '  %-44s %8s s  (runs: %s)\n' "wc -l" "$wc_best" "${wc_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to finished title" "$open_best" "${open_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to start-up title (no file)" "$start_best" "${start_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to finished title, 1 MiB file" "$small_best" "${small_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "bare Open under Wine (open_bench_win.exe)" "$bare_best" "${bare_times[*]}"
printf '  %-44s %8s MiB\n' "tomeview peak memory (VmHWM)" "$peak"
awk -v w="$wc_best" -v o="$open_best" -v s="$start_best" 'BEGIN {
    printf "  ratio wc -l time / open time                 %8.3f  (open throughput as a share of wc -l)\n", w / o
    if (o > s) printf "  ratio wc -l time / (open - start-up) time    %8.3f  (Wine start-up excluded)\n", w / (o - s)
}'
tv_bench_result "open under Wine, start to finished title" "$open_best" "$wc_best" "wc -l" s - "$peak"
tv_bench_result "bare Open under Wine (no window)" "$bare_best" "$wc_best" "wc -l" s - -
if awk -v o="$open_best" -v s="$start_best" 'BEGIN { exit !(o > s) }'; then
    less="$(awk -v o="$open_best" -v s="$start_best" 'BEGIN { print o - s }')"
    tv_bench_result "open under Wine, less start-up (no file)" "$less" "$wc_best" "wc -l" s - "$peak"
fi
if awk -v o="$open_best" -v s="$small_best" 'BEGIN { exit !(o > s) }'; then
    less="$(awk -v o="$open_best" -v s="$small_best" 'BEGIN { print o - s }')"
    tv_bench_result "open under Wine, less start-up (1 MiB file)" "$less" "$wc_best" "wc -l" s ">=0.8" "$peak"
    # Within 1.3 times the bare Open: bare / ours >= 1 / 1.3.
    tv_bench_result "open under Wine, less start-up (1 MiB file)" "$less" "$bare_best" "bare Open, Wine" s ">=0.77" "$peak"
fi

[ -n "${TOMEVIEW_BENCH_FILE:-}" ] && exit 0
for name in dense4-utf8 dense15-utf8; do
    case $name in
        dense4-utf8) label="4-byte lines" target=">=0.5" ;;
        *) label="15-byte lines" target=- ;;
    esac
    dense="$(tv_bench_file "$name")"
    windense="$(tv_winpath "$dense")"
    cat "$dense" >/dev/null
    wc_times=() open_times=() bare_times=() peak=0
    for _ in $(seq "$runs"); do
        t0="$(now)"; wc -l "$dense" >/dev/null; t1="$(now)"
        wc_times+=("$(elapsed "$t0" "$t1")")
        bare_times+=("$("$WINE" "$TV_BENCH_WIN/open_bench_win.exe" "$windense" 1 2>/dev/null |
            sed -n 's/^open_seconds=//p' | tr -d '\r')")
        run_app "$windense - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org" "$windense"
        open_times+=("$secs")
        peak=$(awk -v a="$peak" -v b="$hwm" 'BEGIN { print (b > a ? b : a) }')
    done
    wc_best="$(best "${wc_times[@]}")"
    open_best="$(best "${open_times[@]}")"
    bare_best="$(best "${bare_times[@]}")"
    echo "open of $label: $dense, $(($(stat -c %s "$dense") / 1048576)) MiB, best of $runs runs"
    printf '  %-44s %8s s  (runs: %s)\n' "wc -l" "$wc_best" "${wc_times[*]}"
    printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to finished title" "$open_best" "${open_times[*]}"
    printf '  %-44s %8s s  (runs: %s)\n' "bare Open under Wine (open_bench_win.exe)" "$bare_best" "${bare_times[*]}"
    printf '  %-44s %8s MiB\n' "tomeview peak memory (VmHWM)" "$peak"
    tv_bench_result "open under Wine, start to finished title, $label" "$open_best" "$wc_best" "wc -l" s - "$peak"
    tv_bench_result "bare Open under Wine (no window), $label" "$bare_best" "$wc_best" "wc -l" s - -
    if awk -v o="$open_best" -v s="$small_best" 'BEGIN { exit !(o > s) }'; then
        less="$(awk -v o="$open_best" -v s="$small_best" 'BEGIN { print o - s }')"
        tv_bench_result "open under Wine, less start-up (1 MiB file), $label" "$less" "$wc_best" "wc -l" s "$target" "$peak"
    fi
done
