#!/usr/bin/env bash
# Makes the README screenshots in docs/: the main window on a Chinese log,
# the Find dialog after a count, the matching lines listed below the text,
# the main window and the list at 150 % (144 dpi), and an open in progress
# (a 1500 MiB file).
# Builds what is missing, runs on its own Xvfb and Wine prefix.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$src"
bash scripts/setup.sh
export TOMEVIEW_BUILD_ROOT="${TOMEVIEW_BUILD_ROOT:-$src/build}"
win="$TOMEVIEW_BUILD_ROOT/win"
if [ ! -x "$win/tomeview.exe" ]; then
    cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTOMEVIEW_TESTS=OFF >/dev/null
    cmake --build "$win" -j2 --target tomeview
fi
export WINEPREFIX="$TOMEVIEW_BUILD_ROOT/wineprefix-shots"
source scripts/wine-env.sh
tv_prefix_ensure
tv_xvfb_start
trap 'tv_wine_stop; tv_xvfb_stop' EXIT
export TOMEVIEW_BUILD="$win" TOMEVIEW_SOURCE="$src"
source tests/e2e/lib/app_common.sh
# The helpers install their own exit trap; keep stopping Wine and Xvfb too.
trap 'e2e_cleanup; tv_wine_stop; tv_xvfb_stop' EXIT
mkdir -p docs

# Crops a root screenshot to window $1 and writes docs/$2.png.
window_shot() {
    window_geometry "$1"
    local raw; raw="$(shot "$2-raw")"
    # Wine draws its own frame: include the caption bar above the client
    # origin (24 px at 96 dpi).
    local caption=$((24 * ${SHOT_DPI:-96} / 96))
    convert "$raw" -crop "${WW}x$((WH + caption))+${WX}+$((WY - caption))" +repage -strip -colors 256 "docs/$2.png"
    rm -f "$raw"
    log "wrote docs/$2.png"
}

log_file="$DATA/服务日志.log"
python3 - "$log_file" <<'PY'
import sys
levels = ["INFO", "WARN", "INFO", "ERROR", "INFO"]
msgs = ["用户登录成功", "缓存命中率下降", "订单已创建", "数据库连接超时", "文件上传完成"]
with open(sys.argv[1], "w", encoding="utf-8", newline="\r\n") as f:
    for i in range(50000):
        k = i % 5
        f.write(f"2026-12-08 09:{i // 60 % 60:02d}:{i % 60:02d}\t{levels[k]}\t{msgs[k]}\tuser={1000 + i % 37}\t耗时 {i * 7 % 900} ms\n")
PY
wlog="$(winpath "$log_file")"
start_app "$wlog"
W="$(wait_window 'Tomeview' 60)"
wait_title "$W" "$wlog - Tomeview超大文本浏览器-Orvane：$SITE" 60
window_geometry "$W"
sleep 0.5
window_shot "$W" main-window

# Double-click the message of the fourth line, open Find, count.
xdotool mousemove $((WX + 330)) $((WY + 45 + 3 * 19 + 8)) click --repeat 2 --delay 80 1
sleep 0.3
xdotool key ctrl+f
D="$(wait_window '^查找$' 20)"
window_geometry "$D"
# The count button sits at dialog units (179,75)-(261,91).
xdotool mousemove $((WX + 332)) $((WY + 168)) click 1
sleep 1.5
window_shot "$W" find-count
kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null || true

# The matching lines of ERROR listed below the text, at 100 % and at 150 %
# (LogPixels 144, with a restart of the Wine server; set back to 96 after).
source tests/e2e/lib/dialog_helpers.sh
wintext_build
set_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    tv_wine_stop
}
trap 'e2e_cleanup; set_dpi 96; tv_wine_stop; tv_xvfb_stop' EXIT
for dpi in 96 144; do
    set_dpi "$dpi"
    SHOT_DPI=$dpi
    start_app "$wlog"
    W="$(wait_window 'Tomeview' 60)"
    wait_title "$W" "$wlog - Tomeview超大文本浏览器-Orvane：$SITE" 60
    suffix=""
    [ "$dpi" = 96 ] || suffix="-150"
    [ "$dpi" = 96 ] || window_shot "$W" "main-window$suffix"
    D="$(press_find_keys xsend "$W" key)"
    type_into_ctl "$D" 1013 ERROR 4 30
    click_ctl "$D" 1031
    wait_ctl_text "$D" 1023 "匹配行：10000 行." 60
    xdotool key Escape
    wait_no_hwnd 查找 10
    sleep 0.5
    window_shot "$W" "matching-lines$suffix"
    kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null || true
done
set_dpi 96
SHOT_DPI=96

big="$DATA/readme_large.txt"
make_large "$big" 1500
wbig="$(winpath "$big")"
start_app "$wbig"
W="$(wait_window 'Tomeview' 60)"
for _ in $(seq 4000); do
    t="$(title_of "$W")"
    case "$t" in *正在打开文件*%) p="${t##* - }"; p="${p%\%}"; [ "$p" -ge 3 ] 2>/dev/null && break ;; esac
    sleep 0.02
done
window_shot "$W" open-progress
kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null || true
rm -f "$big"
