#!/usr/bin/env bash
# Find engine against grep on the same 2 GB log, in the same run:
#   count ignoring case      vs  grep -Fic
#   count matching case      vs  grep -c
#   find next across file    vs  grep -c (a text only on the last line)
# Prints times and ratios (grep time / engine time: above 1 means faster
# than grep), each the shortest of TOMEVIEW_BENCH_RUNS runs (default 5). The
# file is generated under build/bench-data and deleted after.
#   bench/bench_find.sh [SIZE_MB]   (default 2048)
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
size_mb="${1:-2048}"
build="${TOMEVIEW_BENCH_BUILD:-$src/build/bench-native}"
data="${TOMEVIEW_BENCH_DATA:-$src/build/bench-data}"
file="$data/find_bench.log"
mkdir -p "$data"
trap 'rm -f "$file" "$data/chunk.log"' EXIT

if [ ! -x "$build/find_bench" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target find_bench -j2 >/dev/null

# A 16 MiB chunk of mixed English and Chinese log lines (CR LF), repeated.
LC_ALL=C awk 'BEGIN {
    n = split("Connection to db-01 established|连接数据库超时，正在第 3 次重试|request handled in 12 ms|用户 zhang.wei 登录成功|upstream Timeout after 30 s|缓存命中率 97.3%，内存占用 512 MB|worker restarted after TIMEOUT|Scheduled job 日报生成 finished|read timeout on socket 17|配置已重新加载 config.ini|GET /api/v1/orders?page=3 200", msg, "|")
    size = 0
    for (i = 1; size < 16777216; i++) {
        line = sprintf("2024-05-%02d %02d:%02d:%02d.%03d\t%s\t[worker-%d]\t%s\t#%d\r\n", 1 + i % 28, i % 24, i % 60,
                       (i * 7) % 60, (i * 13) % 1000, (i % 5 ? "INFO" : "WARN"), i % 8, msg[1 + (i * 7) % n], i)
        printf "%s", line
        size += length(line)
    }
}' >"$data/chunk.log"
chunk_bytes=$(stat -c %s "$data/chunk.log")
reps=$(( size_mb * 1048576 / chunk_bytes ))
printf 'NEEDLE-AT-START marks the first line\r\n' >"$file"
for ((i = 0; i < reps; i++)); do cat "$data/chunk.log"; done >>"$file"
printf 'the last line holds NEEDLE-AT-END\r\n' >>"$file"
rm -f "$data/chunk.log"
bytes=$(stat -c %s "$file")
echo "file: $((bytes / 1048576)) MiB, $(grep -c '' "$file") lines"
cat "$file" >/dev/null  # into the page cache for everyone

runs="${TOMEVIEW_BENCH_RUNS:-5}"
# timed OUTVAR CMD...: runs CMD $runs times, puts its output in OUTVAR and the
# shortest time in seconds in the variable named OUTVAR_s (the machine is
# shared, so the shortest run is the one least disturbed).
timed() {
    local var="$1" s e d best=""
    shift
    for ((k = 0; k < runs; k++)); do
        s=$(date +%s.%N)
        printf -v "$var" '%s' "$("$@")"
        e=$(date +%s.%N)
        d=$(echo "$e - $s" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$d < $best" | bc -l)" = 1 ]; then best=$d; fi
    done
    printf -v "${var}_s" '%s' "$best"
}

timed fic grep -Fic TIMEOUT "$file"
timed gc grep -c timeout "$file"
timed gend grep -c NEEDLE-AT-END "$file"
g_fic=$fic_s g_c=$gc_s g_end=$gend_s
engine=$("$build/find_bench" "$file" TIMEOUT NEEDLE-AT-END NEEDLE-AT-START "$runs")
echo "$engine"
val() { echo "$engine" | awk -v k="$1" '$1 == k { print $2 }'; }
res() { echo "$engine" | awk -v k="$1" '$1 == k { print $3 }'; }

ratio() { echo "scale=2; $1 / $2" | bc -l; }
printf '\n%-28s %9s %9s %7s  %s\n' "operation" "engine s" "peer s" "ratio" "peer"
printf '%-28s %9.3f %9.3f %7s  %s\n' "count, ignoring case" "$(val count_ignore_case)" "$g_fic" \
    "$(ratio "$g_fic" "$(val count_ignore_case)")" "grep -Fic TIMEOUT"
printf '%-28s %9.3f %9.3f %7s  %s\n' "count, matching case" "$(val count_match_case)" "$g_c" \
    "$(ratio "$g_c" "$(val count_match_case)")" "grep -c timeout"
printf '%-28s %9.3f %9.3f %7s  %s\n' "find next across the file" "$(val find_next_across)" "$g_end" \
    "$(ratio "$g_end" "$(val find_next_across)")" "grep -c NEEDLE-AT-END"
printf '%-28s %9.3f %9.3f %7s  %s\n' "find previous across" "$(val find_previous_across)" "$g_end" \
    "$(ratio "$g_end" "$(val find_previous_across)")" "grep -c NEEDLE-AT-END"
printf '%-28s %9.3f %9s %7s  %s\n' "walk every line (no search)" "$(val walk)" "-" "-" "reading and decoding only"
echo
echo "counts: engine $(res count_ignore_case) ignoring case, grep -Fic $fic lines; engine $(res count_match_case) matching case, grep -c $gc lines"
echo "(each log line holds at most one occurrence, so the counts agree)"
