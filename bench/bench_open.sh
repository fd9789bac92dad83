#!/usr/bin/env bash
# Opening benchmark: time from starting tomeview.exe under Wine on a 2 GiB log
# to the finished caption, against `wc -l` on the same cached file in the same
# run. Also prints the start-up time without a file, so Wine's own share shows.
#   bench/bench_open.sh [runs]          (default 3 runs; the best of each is used)
# Environment: TOMEVIEW_EXE (default build/win/tomeview.exe), TOMEVIEW_BENCH_FILE
# (default build/bench-data/open_2g.txt, made when missing), DISPLAY (an Xvfb
# is started for the run when unset), WINEPREFIX.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
if [ -f "$src/scripts/wine-env.sh" ]; then
    # shellcheck disable=SC1091
    source "$src/scripts/wine-env.sh"
    tv_prefix_ensure
else
    export WINE="${WINE:-/usr/lib/wine/wine64}" WINEDEBUG=-all LANG=zh_CN.UTF-8
    export WINEPREFIX="${WINEPREFIX:-$src/build/wineprefix}"
fi
exe="${TOMEVIEW_EXE:-$src/build/win/tomeview.exe}"
file="${TOMEVIEW_BENCH_FILE:-$src/build/bench-data/open_2g.txt}"
[ -f "$exe" ] || { echo "bench_open: no program at $exe (build the Windows build first)" >&2; exit 1; }

xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    return 0
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    numfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do grep -q '[0-9]' "$numfile" && break; sleep 0.05; done
    export DISPLAY=":$(tr -dc '0-9' <"$numfile")"
    rm -f "$numfile"
fi

want=$((2048 * 1048576))
if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" != "$want" ]; then
    mkdir -p "$(dirname "$file")"
    echo "bench_open: writing $file (2 GiB)" >&2
    python3 - "$file" <<'PY'
import sys
lines, size, i = [], 0, 0
while True:
    line = ("2024-05-01 12:%02d:%02d.%03d [INFO] worker-%d 请求 %06d 已处理，耗时 %d ms status=ok\r\n"
            % (i // 60 % 60, i % 60, i % 1000, i % 8, i, i % 97)).encode()
    if size + len(line) > 1048576:
        break
    lines.append(line); size += len(line); i += 1
block = b"".join(lines)
block += b"#" * (1048574 - len(block)) + b"\r\n"
with open(sys.argv[1], "wb") as f:
    for _ in range(2048):
        f.write(block)
PY
fi
winfile="Z:${file//\//\\}"
finished="$winfile - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org"
startup="tomeview - 超级文本浏览器-官网：https://tomeview.example.org"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -1; }

# run_app TITLE [file]: seconds from the start of the program to TITLE.
run_app() {
    local want="$1"; shift
    local t0 t w title
    t0="$(now)"
    "$WINE" "$exe" "$@" >/dev/null 2>&1 &
    app_pid=$!
    while :; do
        w="$(xdotool search --all --pid "$app_pid" --name 'omeview' 2>/dev/null | head -1 || true)"
        if [ -n "$w" ]; then
            title="$(xdotool getwindowname "$w" 2>/dev/null || true)"
            [ "$title" = "$want" ] && break
        fi
        kill -0 "$app_pid" 2>/dev/null || { echo "bench_open: the program ended early" >&2; exit 1; }
        sleep 0.02
    done
    t="$(now)"
    kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null || true
    app_pid=""
    elapsed "$t0" "$t"
}

cat "$file" >/dev/null                  # into the page cache
run_app "$startup" >/dev/null           # Wine server and prefix warm
wc_times=() open_times=() start_times=()
for _ in $(seq "$runs"); do
    t0="$(now)"; wc -l "$file" >/dev/null; t1="$(now)"
    wc_times+=("$(elapsed "$t0" "$t1")")
    start_times+=("$(run_app "$startup")")
    open_times+=("$(run_app "$finished" "$winfile")")
done
wc_best="$(best "${wc_times[@]}")"
open_best="$(best "${open_times[@]}")"
start_best="$(best "${start_times[@]}")"
size_gb="$(awk -v b="$want" 'BEGIN { printf "%.2f", b / 1e9 }')"
echo "open benchmark: ${size_gb} GB CR LF log, best of $runs runs"
printf '  %-44s %8s s  (runs: %s)\n' "wc -l" "$wc_best" "${wc_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to finished title" "$open_best" "${open_times[*]}"
printf '  %-44s %8s s  (runs: %s)\n' "tomeview start to start-up title (no file)" "$start_best" "${start_times[*]}"
awk -v w="$wc_best" -v o="$open_best" -v s="$start_best" 'BEGIN {
    printf "  ratio wc -l time / open time                 %8.3f  (open throughput as a share of wc -l)\n", w / o
    if (o > s) printf "  ratio wc -l time / (open - start-up) time    %8.3f  (Wine start-up excluded)\n", w / (o - s)
}'
