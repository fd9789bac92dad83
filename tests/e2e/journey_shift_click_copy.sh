#!/usr/bin/env bash
# Select by keys and Shift+click, then copy: open a small log, Ctrl+End,
# Shift+click on the first text row, Ctrl+C. The clipboard must hold the
# document from the click to its very end (last line included) and must not
# hold text from before the clicked row's line.
# NOTE: not yet run under Wine; kept non-executable until verified.
set -u
source "$(dirname "$0")/lib/app_common.sh"
for tool in xdotool xclip; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done

sample="$DATA/journey_sel.txt"
{
    for i in 1 2 3 4 5 6; do printf 'line %d 第%d行\r\n' "$i" "$i"; done
    printf 'last line 末行'
} >"$sample"
ws="$(winpath "$sample")"

start_app "$ws"
W="$(wait_window 'Tomeview' 60)"
wait_title "$W" "$ws - Tomeview超大文本浏览器-Orvane：$SITE" 30
window_geometry "$W"
# Click once in the text pane to give it the focus.
xdotool mousemove $((WX + 200)) $((WY + 45)) click 1
xdotool key --window "$W" ctrl+End
xdotool mousemove $((WX + 200)) $((WY + 45)) keydown shift click 1 keyup shift
xdotool key --window "$W" ctrl+c
clip=""
start=$SECONDS
while [ $((SECONDS - start)) -lt 10 ]; do
    clip="$(xclip -selection clipboard -o 2>/dev/null || true)"
    [ -n "$clip" ] && break
    sleep 0.1
done
[ -n "$clip" ] || fail "clipboard empty after Shift+click and Ctrl+C"
case "$clip" in *"last line 末行") ;; *) fail "clipboard does not end with the last line: '$clip'" ;; esac
case "$clip" in *"line 2 第2行"*) ;; *) fail "clipboard misses line 2: '$clip'" ;; esac
click_close_box "$W"
wait_exit 20
log ok
