#!/usr/bin/env bash
# Index benchmark: TextDocument::Open against `wc -l` on the same cached
# files, a >= 2 GB CR LF log in UTF-8 and a UTF-16 LE variant.
#   TOMEVIEW_BENCH_DATA  folder for the generated files (default build/bench-data);
#                        files already there are reused
#   TOMEVIEW_BENCH_BUILD native build folder (default build/bench-native)
#   TOMEVIEW_BENCH_CLEAN=1 deletes the generated files afterwards
set -euo pipefail
cd "$(dirname "$0")/.."
DATA=${TOMEVIEW_BENCH_DATA:-build/bench-data}
BUILD=${TOMEVIEW_BENCH_BUILD:-build/bench-native}
mkdir -p "$DATA"
LOG8="$DATA/log-utf8.txt"
LOG16="$DATA/log-utf16le.txt"
MIN_BYTES=$((2 * 1000 * 1000 * 1000 + 150 * 1000 * 1000))

if [ ! -x "$BUILD/index_bench" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null
fi
if ! log=$(cmake --build "$BUILD" --target index_bench -j2 2>&1); then
    echo "$log" >&2
    exit 1
fi

make_log() {  # $1 path, $2 python codec, $3 prefix bytes (mark)
    local size=0
    [ -f "$1" ] && size=$(stat -c %s "$1")
    if [ "$size" -ge "$MIN_BYTES" ]; then return; fi
    echo "generating $1 ..." >&2
    python3 - "$1" "$2" "$3" "$MIN_BYTES" <<'PY'
import random, sys
path, codec, mark, target = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
rnd = random.Random(1)
levels = ['INFO', 'WARN', 'ERROR', 'DEBUG']
words = ['connection', 'timeout', 'request', 'user', 'session', 'cache', 'retry', 'worker',
         '连接超时', '请求完成', '用户登录', '缓存命中']
lines = []
for i in range(20000):
    msg = ' '.join(rnd.choice(words) for _ in range(rnd.randint(3, 14)))
    lines.append('2024-03-%02d %02d:%02d:%02d.%03d [%s] thread-%d %s id=%d\r\n' % (
        rnd.randint(1, 28), rnd.randint(0, 23), rnd.randint(0, 59), rnd.randint(0, 59),
        rnd.randint(0, 999), rnd.choice(levels), rnd.randint(1, 64), msg, rnd.randint(1, 10**9)))
block = ''.join(lines).encode(codec)
with open(path, 'wb') as f:
    f.write(bytes.fromhex(mark))
    written = len(mark) // 2
    while written < target:
        f.write(block)
        written += len(block)
PY
}

make_log "$LOG8" utf-8 ""
make_log "$LOG16" utf-16-le "fffe"

best_wc() {  # best of 3 runs of wc -l, in seconds
    local best=999999
    wc -l "$1" >/dev/null
    for _ in 1 2 3; do
        local s e
        s=$(date +%s.%N)
        wc -l "$1" >/dev/null
        e=$(date +%s.%N)
        best=$(awk -v a="$s" -v b="$e" -v m="$best" 'BEGIN { t = b - a; print (t < m ? t : m) }')
    done
    echo "$best"
}

report() {  # $1 label, $2 file, $3 target ratio
    local wc_s out open_s
    wc_s=$(best_wc "$2")
    out=$("$BUILD/index_bench" "$2" 3 2000)
    open_s=$(echo "$out" | sed -n 's/^open_seconds=//p')
    echo "== $1: $2"
    echo "$out" | sed 's/^/   /'
    printf '   wc_l_seconds=%.4f\n' "$wc_s"
    printf '   ratio_to_wc_l=%.3f (target >= %s)\n' "$(awk -v w="$wc_s" -v o="$open_s" 'BEGIN { print w / o }')" "$3"
}

report "UTF-8 log" "$LOG8" 0.4
report "UTF-16 LE log" "$LOG16" 0.25

if [ "${TOMEVIEW_BENCH_CLEAN:-0}" = 1 ]; then rm -f "$LOG8" "$LOG16"; fi
