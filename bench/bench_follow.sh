#!/usr/bin/env bash
# Following a log while it is written (File > 跟踪文件末尾): the time from a
# line's write to the paint that shows it, for a writer at 10,000 lines a
# second for 30 s (follow_bench_win.exe: the program's window and pane in
# one process with the writer), beside tail -F reading the same log in the
# same run (each line carries its write time); then the processor time the
# program (tomeview.exe) takes over a minute of following a log nobody
# writes, beside tail -F on it over the same minute.
# Targets: 95 % of the lines shown within 1 s; under 1 % of one core idle
# (0.6 s of processor time a minute).
#   bench/bench_follow.sh [seconds of writing] [seconds idle]   (30, 60)
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
write_s="${1:-30}"
idle_s="${2:-60}"
rate=10000

tv_bench_win tomeview count_driver_win follow_bench_win
work="$(mktemp -d)"
tail_pid=""
trap '[ -n "$tail_pid" ] && kill "$tail_pid" 2>/dev/null; rm -rf "$work"; tv_bench_wine_stop' EXIT
tv_bench_wine_start
log="$work/follow.log"
: >"$log"

# tail -F with a reader that times each line from the write time it carries
# (100 ns since 1601) to the moment it reads it.
reader() {
    python3 -c '
import sys, time
lat = []
for line in sys.stdin:
    t = line.rsplit("t=", 1)
    if len(t) == 2:
        lat.append(time.time() - (int(t[1]) / 1e7 - 11644473600))
lat.sort()
q = lambda p: lat[min(len(lat) - 1, int(p * len(lat)))] if lat else 0
print("latency lines=%d p50=%.4f p95=%.4f max=%.4f" % (len(lat), q(0.5), q(0.95), q(1.0)))
'
}
mkfifo "$work/lines"
reader <"$work/lines" >"$work/tail.out" &
reader_pid=$!
tail -n 0 -F "$log" >"$work/lines" 2>/dev/null &
tail_pid=$!
sleep 0.5
"$WINE" "$TV_BENCH_WIN/follow_bench_win.exe" "$(tv_winpath "$log")" "$write_s" "$rate" | tr -d '\r' >"$work/ours.out" ||
    { echo "bench_follow: the follow benchmark failed" >&2; exit 1; }
sleep 1
kill "$tail_pid" 2>/dev/null || true
tail_pid=""
wait "$reader_pid" 2>/dev/null || true
ours=$(cat "$work/ours.out")
theirs=$(cat "$work/tail.out")
val() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -1; }

# Idle: a minute of following a log nobody writes, the program and tail -F.
printf 'one line\r\n' >"$work/idle.log"
tail -n 0 -F "$work/idle.log" >/dev/null 2>&1 &
idle_tail=$!
# The program's processor time from /proc (Wine's own accounts of another
# process may be empty): its Linux process, sampled once it follows and
# again two seconds before the driver closes it.
"$WINE" "$TV_BENCH_WIN/count_driver_win.exe" --idle "$(tv_winpath "$TV_BENCH_WIN/tomeview.exe")" \
    "$(tv_winpath "$work/idle.log")" "$((idle_s + 2))" >"$work/idle.out" 2>/dev/null &
driver=$!
until grep -q 'idle following' "$work/idle.out" 2>/dev/null; do
    kill -0 "$driver" 2>/dev/null || { echo "bench_follow: the idle run failed" >&2; exit 1; }
    sleep 0.2
done
app=$(pgrep -n -f 'tomeview\.exe') || { echo "bench_follow: no tomeview.exe process" >&2; exit 1; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
app0=$(ticks "$app") tail0=$(ticks "$idle_tail")
sleep "$idle_s"
app1=$(ticks "$app") tail1=$(ticks "$idle_tail")
wait "$driver" || { echo "bench_follow: the idle run failed" >&2; exit 1; }
kill "$idle_tail" 2>/dev/null || true
seconds_of() { awk -v a="$1" -v b="$2" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", (b - a) / hz }'; }
idle_cpu=$(seconds_of "$app0" "$app1") tail_cpu=$(seconds_of "$tail0" "$tail1")
per_minute() { awk -v c="$1" -v s="$idle_s" 'BEGIN { printf "%.3f", c * 60 / s }'; }

echo "following a log written at $rate lines a second for $write_s s, then idle for $idle_s s"
printf '  %-34s %8s %8s %8s %9s\n' "" "p50 s" "p95 s" "max s" "lines"
printf '  %-34s %8s %8s %8s %9s\n' "tomeview (window and pane)" "$(val "$ours" p50)" "$(val "$ours" p95)" \
    "$(val "$ours" max)" "$(val "$ours" lines)"
printf '  %-34s %8s %8s %8s %9s\n' "tail -F" "$(val "$theirs" p50)" "$(val "$theirs" p95)" "$(val "$theirs" max)" \
    "$(val "$theirs" lines)"
echo "  processor time a minute while nothing is written: tomeview.exe $(per_minute "$idle_cpu") s," \
    "tail -F $(per_minute "$tail_cpu") s (target under 0.6 s, 1 % of a core)"
echo "  processor time of the window and writer process while writing: $(sed -n 's/^cpu_seconds=//p' <<<"$ours") s"

tv_bench_result "follow: write to view, 95th percentile" "$(val "$ours" p95)" 1.0 "the 1 s target" s ">=1.0" -
tv_bench_result "follow: write to view, 95th percentile" "$(val "$ours" p95)" "$(val "$theirs" p95)" "tail -F" s - -
tv_bench_result "follow: idle processor time a minute, tomeview.exe" "$(per_minute "$idle_cpu")" 0.6 \
    "the 1 % target" s ">=1.0" -
tv_bench_result "follow: idle processor time a minute, tomeview.exe" "$(per_minute "$idle_cpu")" \
    "$(per_minute "$tail_cpu")" "tail -F" s - -
[ "$(val "$ours" lines)" = "$((rate * write_s))" ]
