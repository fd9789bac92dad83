#!/usr/bin/env bash
# First the peak memory of reading one line of 16, 63 (a block just under the
# 64 MiB bound, read whole) and 65 MiB (read in pieces) with the native core.
# Then two very large hostile files: a billion lines (almost all empty) and one
# line of 3 GiB without any line end. Makes them in build/hostile-data, opens
# each with the native document core (bench/hostile_open: index, first,
# middle and last lines, find and count near the end) and, when the Windows
# build is there, with tomeview.exe under Wine (finished caption, Ctrl+End,
# still alive), printing times and peak memory. On the 3 GiB line the Wine
# part also finds a marker 2.9 GiB in (screenshot), counts a text that
# occurs every MiB against grep and copies a text across the 64 MiB mark
# (scripts/hostile_long_line.sh). Not part of the test run.
#   scripts/hostile_large.sh [--keep] [--no-wine]
#   --keep     keep the generated files (reused by the next run)
#   --no-wine  native core only
# TOMEVIEW_HOSTILE_DATA (default build/hostile-data), TOMEVIEW_BUILD (the
# Windows build, default build/win).
set -euo pipefail
cd "$(dirname "$0")/.."
keep=0 wine=1
for a in "$@"; do
    case "$a" in
    --keep) keep=1 ;;
    --no-wine) wine=0 ;;
    *) echo "usage: $0 [--keep] [--no-wine]" >&2; exit 2 ;;
    esac
done
DATA="${TOMEVIEW_HOSTILE_DATA:-build/hostile-data}"
NATIVE=build/hostile-native
WIN="${TOMEVIEW_BUILD:-build/win}"
mkdir -p "$DATA"
lines="$DATA/billion_lines.txt"
oneline="$DATA/one_line_3g.txt"

XVFB_PID="" APP=""
cleanup() {
    [ -n "$APP" ] && kill "$APP" 2>/dev/null && wait "$APP" 2>/dev/null
    if [ -n "$XVFB_PID" ]; then
        tv_wine_stop
        tv_xvfb_stop
    fi
    if [ "$keep" = 0 ]; then rm -f "$lines" "$oneline" "$DATA"/line_*m.txt; fi
    return 0
}
trap cleanup EXIT

echo "== building bench/hostile_open (native Release)"
cmake -S . -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null
cmake --build "$NATIVE" --target hostile_open -j2 >/dev/null

# A line of $1 MiB of x and its LF: the peak before and after reading it.
block_case() {
    local f="$DATA/line_${1}m.txt" out opened read
    if [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" != $(($1 * 1048576 + 1)) ]; then
        { head -c $(($1 * 1048576)) /dev/zero | tr '\0' x; echo; } >"$f"
    fi
    out="$("$NATIVE/hostile_open" "$f")"
    opened="$(echo "$out" | sed -n 's/^  open + index:.*peak \([0-9]*\) KiB$/\1/p')"
    read="$(echo "$out" | sed -n 's/^  first  line 1:.*peak \([0-9]*\) KiB:.*/\1/p')"
    printf '  one line of %2d MiB: peak %4d MiB after the open, %4d MiB after reading the line (+%d MiB)\n' \
        "$1" $((opened / 1024)) $((read / 1024)) $(((read - opened) / 1024))
}
echo "== native core: peak memory of reading one long line"
for mib in 16 63 65; do block_case $mib; done

# 999,999,990 LFs, a line with the needle, 9 more LFs: 1,000,000,001 lines.
want=$((999999990 + 15 + 9))
if [ "$(stat -c %s "$lines" 2>/dev/null || echo 0)" != "$want" ]; then
    echo "== writing $lines"
    { head -c 999999990 /dev/zero | tr '\0' '\n'; printf 'hostile needle\n'; head -c 9 /dev/zero | tr '\0' '\n'; } >"$lines"
fi
# 3 GiB of x, no line end: a needle at the start and one at the very end,
# EVERY at 1000 bytes into every MiB, MARKER 2.9 GiB in and ACROSS over the
# 64 MiB mark.
want=$((3 * 1024 * 1024 * 1024))
EVERY="every-mib" MARKER="MARK-AT-2.9-GIB" ACROSS="ACROSS-THE-OLD-64-MIB-BOUND"
MARKER_AT=3113851290 ACROSS_AT=$((64 * 1024 * 1024 - 13))
if [ "$(stat -c %s "$oneline" 2>/dev/null || echo 0)" != "$want" ] ||
    [ "$(dd if="$oneline" bs=1 skip=$MARKER_AT count=${#MARKER} status=none 2>/dev/null)" != "$MARKER" ]; then
    echo "== writing $oneline"
    python3 - "$oneline" "$EVERY" "$MARKER" $MARKER_AT "$ACROSS" $ACROSS_AT <<'PY'
import sys
path, every, marker, marker_at, across, across_at = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode(), \
    int(sys.argv[4]), sys.argv[5].encode(), int(sys.argv[6])
mib = 1 << 20
total = 3 * 1024 * mib
puts = [(0, b"start needle "), (total - 11, b" end needle"), (marker_at, marker), (across_at, across)]
with open(path, "wb") as f:
    for k in range(total // mib):
        chunk = bytearray(b"x" * mib)
        chunk[1000:1000 + len(every)] = every
        for at, text in puts:
            lo, hi = max(at, k * mib), min(at + len(text), (k + 1) * mib)
            if lo < hi:
                chunk[lo - k * mib:hi - k * mib] = text[lo - at:hi - at]
        f.write(chunk)
PY
fi
ls -l "$lines" "$oneline"

native() {  # FILE NEEDLE...
    echo "== native core: $1"
    /usr/bin/time -f '  process: %e s elapsed, %M KiB peak resident' "$NATIVE/hostile_open" "$@" 2>&1
}
native "$lines" "hostile needle"
native "$oneline" "start needle" "end needle" "$MARKER" "$EVERY"

if [ "$wine" = 0 ]; then exit 0; fi
if [ ! -f "$WIN/tomeview.exe" ]; then
    echo "== no $WIN/tomeview.exe: Wine part skipped"
    exit 0
fi
source scripts/wine-env.sh
tv_prefix_ensure
tv_xvfb_start
XVFB_PID="$TV_XVFB_PID"

vm() { sed -n "s/^$2:[[:space:]]*//p" "/proc/$1/status" 2>/dev/null; }

# FILE: open under Wine, wait for the finished caption, Ctrl+End, report.
app() {
    local file="$1" wfile finished W="" pid start t
    wfile="$(tv_winpath "$file")"
    finished="$wfile - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org"
    echo "== tomeview.exe under Wine: $file"
    start=$SECONDS
    "$WINE" "$WIN/tomeview.exe" "$wfile" >/dev/null 2>&1 &
    APP=$!
    while [ -z "$W" ]; do
        W="$(xdotool search --name 'Tomeview' 2>/dev/null | head -1 || true)"
        kill -0 "$APP" 2>/dev/null || { echo "  the program ended before its window appeared"; APP=""; return 1; }
        [ $((SECONDS - start)) -lt 120 ] || { echo "  no window within 120 s"; return 1; }
        sleep 0.2
    done
    pid="$(xdotool getwindowpid "$W" 2>/dev/null || echo "$APP")"
    t=""
    while [ "$t" != "$finished" ]; do
        t="$(xdotool getwindowname "$W" 2>/dev/null || true)"
        kill -0 "$APP" 2>/dev/null || { echo "  the program ended during the open"; APP=""; return 1; }
        [ $((SECONDS - start)) -lt 900 ] || { echo "  not finished within 900 s: '$t'"; return 1; }
        sleep 0.2
    done
    echo "  finished caption after $((SECONDS - start)) s (start-up included); VmHWM $(vm "$pid" VmHWM), VmRSS $(vm "$pid" VmRSS)"
    eval "$(xdotool getwindowgeometry --shell "$W")"
    xdotool mousemove $((X + 200)) $((Y + 60)) click 1
    local t0=$SECONDS
    xdotool key --window "$W" ctrl+End
    sleep 2
    xdotool key --window "$W" ctrl+Home
    sleep 1
    kill -0 "$APP" 2>/dev/null || { echo "  the program ended after Ctrl+End"; APP=""; return 1; }
    t="$(xdotool getwindowname "$W" 2>/dev/null || true)"
    [ "$t" = "$finished" ] && echo "  alive after Ctrl+End, Ctrl+Home ($((SECONDS - t0)) s); VmHWM $(vm "$pid" VmHWM)" ||
        echo "  caption changed to '$t'"
    mkdir -p "$DATA/shots"
    import -display "$DISPLAY" -window root "$DATA/shots/$(basename "$file" .txt).png" 2>/dev/null || true
    xdotool mousemove $((X + WIDTH - 15)) $((Y + 12)) click 1
    local s=$SECONDS
    while kill -0 "$APP" 2>/dev/null && [ $((SECONDS - s)) -lt 60 ]; do sleep 0.2; done
    if kill -0 "$APP" 2>/dev/null; then
        echo "  still running 60 s after the close"
        return 1
    fi
    wait "$APP" && echo "  closed, exit code 0" || echo "  closed, exit code $?"
    APP=""
}
app "$lines" || true
app "$oneline" || true
echo "== tomeview.exe under Wine: find, count and copy on the 3 GiB line"
TOMEVIEW_BUILD="$(cd "$WIN" && pwd)" bash scripts/hostile_long_line.sh "$oneline" "$MARKER" "$EVERY" "$ACROSS" \
    "$ACROSS_AT" || echo "  FAILED (see above)"
echo "== screenshots in $DATA/shots"
