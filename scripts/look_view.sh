#!/bin/bash
# Looks at the text view as a user would: starts tomeview.exe under Xvfb on
# generated files and takes screenshots of the top of a file, a scrolled
# position, a mouse selection, and a Chinese file with tabs.
#   scripts/look_view.sh [build-dir]        (default build/view-win)
# Environment: LOOK_DISPLAY (default :53), WINEPREFIX (default /work/dev/wineprefix),
# copied once to <build-dir>/wineprefix-look so that the run has a wine
# server of its own (a shared server shares the keyboard state of others'
# runs). Screenshots go to <build-dir>/look/*.png; open them and check by eye.
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD=${1:-build/view-win}
DISPLAY_NUM=${LOOK_DISPLAY:-:53}
SOURCE_PREFIX=${WINEPREFIX:-/work/dev/wineprefix}
export WINEPREFIX=$(realpath -m "$BUILD/wineprefix-look")
[ -d "$WINEPREFIX" ] || cp -a "$SOURCE_PREFIX" "$WINEPREFIX"
export WINEDEBUG=-all LANG=zh_CN.UTF-8 DISPLAY=$DISPLAY_NUM
WINE=/usr/lib/wine/wine64
OUT=$BUILD/look
DATA=$BUILD/look-data
mkdir -p "$OUT" "$DATA"

for tool in Xvfb xdotool import; do
    command -v $tool >/dev/null || { echo "missing $tool (apt-get install xvfb xdotool imagemagick)"; exit 1; }
done
[ -x $WINE ] || { echo "missing wine64"; exit 1; }
if [ ! -f "$BUILD/tomeview.exe" ]; then
    cmake --build "$BUILD" --target tomeview -j2
fi

XVFB_PID=
APP_PID=
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    /usr/lib/wine/wineserver64 -k 2>/dev/null || true   # this run's own prefix only
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

# Our own X server unless one already answers on the display.
if ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 >/dev/null 2>&1 &
    XVFB_PID=$!
    sleep 1
fi

# Test files: an ASCII log and a Chinese file with tabs.
python3 - "$DATA" <<'PY'
import sys, os
d = sys.argv[1]
with open(os.path.join(d, "log.txt"), "w", newline="\r\n") as f:
    for i in range(20000):
        f.write("2024-05-%02d 12:%02d:%02d INFO worker-%d request id=%06d took %d ms\tstatus=ok\n"
                % (i % 28 + 1, i // 60 % 60, i % 60, i % 7, i, (i * 37) % 1000))
with open(os.path.join(d, "chinese.txt"), "w", encoding="utf-8") as f:
    for i in range(300):
        f.write("第%d行\t中文文本测试\t数据：%d\t超级文本浏览器，逗号。句号\n" % (i + 1, i * i))
PY

start_app() {
    "$WINE" "$BUILD/tomeview.exe" "$(winepath_of "$1")" &
    APP_PID=$!
    for _ in $(seq 100); do
        WIN=$(xdotool search --onlyvisible --name "Tomeview" 2>/dev/null | head -1 || true)
        [ -n "$WIN" ] && xdotool getwindowname "$WIN" | grep -q "$(basename "$1")" && break
        sleep 0.2
    done
    [ -n "$WIN" ] || { echo "window did not appear"; exit 1; }
    sleep 1
}
stop_app() {
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=
    sleep 0.5
}
winepath_of() { echo "Z:$(realpath "$1" | sed 's|/|\\|g')"; }
shot() { import -display "$DISPLAY_NUM" -window root "$OUT/$1.png"; echo "$OUT/$1.png"; }

start_app "$DATA/log.txt"
# Wine draws the frame itself without a window manager: place the client at a known spot.
xdotool windowmove "$WIN" 0 0 windowsize "$WIN" 1000 700
sleep 0.5
shot 1-top
xdotool mousemove 400 300
for _ in $(seq 40); do xdotool click 5; done   # wheel toward the user: 9 lines each
sleep 0.5
shot 2-scrolled
# Drag a selection over three rows, then double-click a word on another row.
xdotool mousemove 200 150 sleep 0.2 mousedown 1 sleep 0.2 mousemove 300 170 sleep 0.2 mousemove 420 200 sleep 0.3 mouseup 1
sleep 0.5
shot 3-selection-drag
xdotool mousemove 480 300 click --repeat 2 --delay 80 1
sleep 0.5
shot 4-selection-word
stop_app

start_app "$DATA/chinese.txt"
xdotool windowmove "$WIN" 0 0 windowsize "$WIN" 1000 700
sleep 0.5
xdotool mousemove 160 90 click --repeat 2 --delay 80 1
sleep 0.5
shot 5-chinese-tabs
stop_app
