#!/bin/bash
# Paint benchmark of the text view under Wine: time per frame at the top,
# middle and end, Ctrl+End, and horizontal scrolling, on a small and a >2 GB
# file of short lines and on a short and a 200 MB single line. Prints the
# figures and the big/small ratios (about 1 when painting does not grow with
# the file). Big files live in build/bench-data and are deleted afterwards.
#   bench/bench_paint.sh [build-dir]      (default build/view-win)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/view-win}
DATA=${TOMEVIEW_BENCH_DATA:-build/bench-data}
export WINEPREFIX=${WINEPREFIX:-/work/dev/wineprefix}
export WINEDEBUG=-all LANG=zh_CN.UTF-8 DISPLAY=${BENCH_DISPLAY:-:53}
WINE=/usr/lib/wine/wine64
mkdir -p "$DATA"
trap 'rm -f "$DATA"/paint_*.txt' EXIT

[ -f "$BUILD/paint_bench_win.exe" ] || cmake --build "$BUILD" --target paint_bench_win -j2
XVFB_PID=
if ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'rm -f "$DATA"/paint_*.txt; kill $XVFB_PID' EXIT
    sleep 1
fi

python3 - "$DATA" <<'PY'
import os, sys
d = sys.argv[1]
line = "".join("2024-05-%02d 12:00:%02d INFO worker request id=%08d took %d ms status=ok\r\n"
               % (i % 28 + 1, i % 60, i, i % 997) for i in range(100000))
with open(os.path.join(d, "paint_small.txt"), "w", newline="") as f:
    f.write(line[: 1 << 20])
chunk = line.encode()
with open(os.path.join(d, "paint_big.txt"), "wb") as f:
    total = 0
    while total < (2200 << 20):
        f.write(chunk)
        total += len(chunk)
unit = ("abcdefghij中文0123456789\t" * 4096).encode()
def one_line(name, size):
    with open(os.path.join(d, name), "wb") as f:
        total = 0
        while total < size:
            f.write(unit)
            total += len(unit)
        f.write(b"\n")
one_line("paint_line_small.txt", 200 << 10)
one_line("paint_line_big.txt", 200 << 20)
PY

run() {
    local file=$1
    "$WINE" "$BUILD/paint_bench_win.exe" "Z:$(realpath "$file" | sed 's|/|\\|g')" 100 | tr -d '\r'
}
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
ratio() { python3 -c "import sys; a,b=float(sys.argv[1]),float(sys.argv[2]); print('%.2f' % (a/b if b>0 else 0))" "$1" "$2"; }

t0=$(date +%s.%N); wc -l "$DATA/paint_big.txt" >/dev/null; t1=$(date +%s.%N)
echo "peer: wc -l on the big file: $(python3 -c "print('%.2f s' % ($t1-$t0))")"

small=$(run "$DATA/paint_small.txt");        echo "small file:  $small"
big=$(run "$DATA/paint_big.txt");            echo "big file:    $big"
lsmall=$(run "$DATA/paint_line_small.txt");  echo "short line:  $lsmall"
lbig=$(run "$DATA/paint_line_big.txt");      echo "200 MB line: $lbig"

echo "ratios big/small (1.00 = no growth with size):"
for k in paint_top_ms paint_mid_ms paint_end_ms ctrl_end_ms; do
    echo "  lines  $k: $(ratio "$(field "$big" $k)" "$(field "$small" $k)")"
done
for k in paint_top_ms paint_end_ms ctrl_end_ms hscroll_ms; do
    echo "  line   $k: $(ratio "$(field "$lbig" $k)" "$(field "$lsmall" $k)")"
done
