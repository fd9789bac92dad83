#!/usr/bin/env bash
# Opening a log larger than memory: writes a ~30 GB CR LF log (the benchmark
# log repeated) so that it cannot stay in the page cache, reads it once with
# `wc -l`, then opens it with the native core (bench/index_bench, one open)
# and with tomeview.exe under Wine (start to finished title), and prints each
# open as a ratio to that `wc -l` pass (the disk is the limit: target 0.9),
# with the peak memory (target: the index, 8 bytes per 100 lines, plus a
# constant). Deletes the file at the end. Not part of the test run.
#   scripts/huge_open.sh [--keep] [--no-wine] [GB]     (default 30)
# TOMEVIEW_HUGE_DATA (default build/huge-data); the builds are the benchmark
# ones (TOMEVIEW_BENCH_BUILD, TOMEVIEW_BENCH_WIN, see bench/lib/common.sh).
set -euo pipefail
keep=0 wine=1 gb=30
for a in "$@"; do
    case "$a" in
    --keep) keep=1 ;;
    --no-wine) wine=0 ;;
    [0-9]*) gb=$a ;;
    *) echo "usage: $0 [--keep] [--no-wine] [GB]" >&2; exit 2 ;;
    esac
done
# shellcheck source=../bench/lib/common.sh
source "$(dirname "$0")/../bench/lib/common.sh"
cd "$TV_BENCH_SRC"
DATA="$(tv_bench_abs "${TOMEVIEW_HUGE_DATA:-build/huge-data}")"
huge="$DATA/huge-log.txt"
mkdir -p "$DATA"

free_gb=$(df -BG --output=avail "$DATA" | tail -1 | tr -dc 0-9)
if [ ! -f "$huge" ] && [ "$free_gb" -lt $((gb + 10)) ]; then
    echo "huge_open: $free_gb GB free in $DATA, $gb GB and a margin of 10 needed" >&2
    exit 1
fi

app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
    [ "$wine" = 1 ] && tv_bench_wine_stop
    [ "$keep" = 0 ] && rm -f "$huge"
    return 0
}
trap cleanup EXIT

echo "== builds"
tv_bench_native index_bench
[ "$wine" = 1 ] && tv_bench_win tomeview
log="$(tv_bench_file log-utf8)"
if [ "$(stat -c %s "$huge" 2>/dev/null || echo 0)" -lt $((gb * 1000000000)) ]; then
    echo "== writing $huge ($gb GB)"
    rm -f "$huge"
    while [ "$(stat -c %s "$huge" 2>/dev/null || echo 0)" -lt $((gb * 1000000000)) ]; do cat "$log" >>"$huge"; done
fi
size=$(stat -c %s "$huge")
mem=$(awk '/^MemTotal:/ { printf "%.0f", $2 * 1024 }' /proc/meminfo)
echo "file: $huge, $(awk -v s="$size" 'BEGIN { printf "%.1f GB", s / 1e9 }'), memory $(awk -v m="$mem" 'BEGIN { printf "%.1f GB", m / 1e9 }')"
[ "$size" -gt "$mem" ] || echo "note: the file is not larger than memory; parts of it may be read from the cache"

now() { date +%s.%N; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

t0=$(now); lines=$(wc -l <"$huge"); t1=$(now)
wc_s=$(secs "$t0" "$t1")
echo "wc -l: $lines line ends in $wc_s s"

out="$(mktemp)"
peak=$(tv_bench_peak "$out" "$TV_BENCH_NATIVE/index_bench" "$huge" 1 0)
native_s=$(sed -n 's/^open_seconds=//p' "$out")
rm -f "$out"
index_mib=$(awk -v l="$lines" 'BEGIN { printf "%.1f", (l / 100) * 8 / 1048576 }')
echo "native Open: $native_s s, ratio to wc -l $(awk -v w="$wc_s" -v o="$native_s" 'BEGIN { printf "%.2f", w / o }')" \
    "(target 0.9), peak $peak MiB (index $index_mib MiB)"

if [ "$wine" = 1 ]; then
    tv_bench_wine_start
    wfile="$(tv_winpath "$huge")"
    finished="$wfile - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org"
    t0=$(now)
    "$WINE" "$TV_BENCH_WIN/tomeview.exe" "$wfile" >/dev/null 2>&1 &
    app_pid=$!
    hwm=0
    while :; do
        w="$(xdotool search --all --pid "$app_pid" --name 'omeview' 2>/dev/null | head -1 || true)"
        [ -n "$w" ] && [ "$(xdotool getwindowname "$w" 2>/dev/null || true)" = "$finished" ] && break
        kill -0 "$app_pid" 2>/dev/null || { echo "tomeview.exe ended during the open" >&2; exit 1; }
        sleep 0.1
    done
    t1=$(now)
    hwm=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$app_pid/status" 2>/dev/null || echo 0)
    app_s=$(secs "$t0" "$t1")
    echo "tomeview.exe under Wine, start to finished title: $app_s s, ratio to wc -l" \
        "$(awk -v w="$wc_s" -v o="$app_s" 'BEGIN { printf "%.2f", w / o }') (target 0.9), peak $hwm MiB" \
        "(the whole Wine process; index $index_mib MiB)"
fi
