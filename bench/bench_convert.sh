#!/bin/bash
# Save As conversion throughput against iconv on the same 2 GB files in the
# same run: UTF-8 -> UTF-16 LE and GBK (ANSI) -> UTF-8. Prints seconds and
# the throughput ratio ours/iconv (above 1: faster than iconv).
#   bench/bench_convert.sh [size in MB, default 2048]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
mb="${1:-2048}"
build="${TOMEVIEW_BENCH_BUILD:-$src/build/bench}"
data="${TOMEVIEW_BENCH_DATA:-$src/build/bench-data}"

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "${TOMEVIEW_JOBS:-2}" --target convert_bench >/dev/null

mkdir -p "$data"
# Only this script's own files: the folder is shared with the other benchmarks.
trap 'rm -f "$data"/block.txt "$data"/lines.txt "$data"/utf8.txt "$data"/gbk.txt "$data"/ours.out "$data"/iconv.out' EXIT

# A 16 MB block of log lines (Chinese and ASCII) repeated to the size.
block="$data/block.txt"
for i in $(seq 1 300); do
    printf '2024-05-01 12:%02d:%02d.%03d\tINFO\t[网络线程-%d]\t连接数据库超时，正在第 %d 次重试 Connection reset by peer (errno 104) 用户 zhang.wei 登录成功\r\n' \
        $((i % 60)) $((i % 60)) $((i % 1000)) "$i" "$i"
done >"$data/lines.txt"
: >"$block"
while [ "$(stat -c %s "$block")" -lt $((16 << 20)) ]; do cat "$data/lines.txt" >>"$block"; done
utf8="$data/utf8.txt" gbk="$data/gbk.txt"
: >"$utf8"
for _ in $(seq 1 $(((mb + 15) / 16))); do cat "$block" >>"$utf8"; done
iconv -f UTF-8 -t GBK "$utf8" >"$gbk"
size8=$(stat -c %s "$utf8") sizeg=$(stat -c %s "$gbk")
echo "files: UTF-8 $((size8 >> 20)) MiB, GBK $((sizeg >> 20)) MiB (warm page cache, outputs in the same folder)"

run() {  # name, file, ours-source, ours-target, iconv-from, iconv-to
    local name=$1 file=$2 size
    size=$(stat -c %s "$file")
    cat "$file" >/dev/null
    local ti to
    ti=$( { /usr/bin/time -f %e iconv -f "$5" -t "$6" "$file" >"$data/iconv.out"; } 2>&1 | tail -1)
    rm -f "$data/iconv.out"
    # The conversion alone, as Save As runs it on an open document.
    to=$("$build/convert_bench" "$file" "$3" "$4" "$data/ours.out" | awk '{print $1}')
    rm -f "$data/ours.out"
    awk -v n="$name" -v ti="$ti" -v to="$to" -v sz="$size" 'BEGIN {
        printf "%-22s iconv %6.2f s (%5.0f MB/s)   tomeview %6.2f s (%5.0f MB/s)   ratio %.2f\n",
            n, ti, sz / ti / 1e6, to, sz / to / 1e6, ti / to }'
}
run "UTF-8 -> UTF-16 LE" "$utf8" utf8 utf16le UTF-8 UTF-16LE
run "GBK -> UTF-8" "$gbk" ansi utf8 GBK UTF-8
