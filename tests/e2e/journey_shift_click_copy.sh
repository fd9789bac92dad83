#!/usr/bin/env bash
# Select by keys and Shift+click, then copy: open a log longer than the
# window, Ctrl+End (the view scrolls so that the last line is on the last
# complete row), Shift+click inside the top row, Ctrl+C. The clipboard must
# hold the document from the click to its very end (last line included) and
# nothing from before the click.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

N=60
sample="$DATA/journey_sel.txt"
{
    for i in $(seq 1 $((N - 1))); do printf 'line %d 第%d行\r\n' "$i" "$i"; done
    printf 'last line 末行'
} >"$sample"
ws="$(winpath "$sample")"

start_app "$ws"
W="$(wait_window 'journey_sel' 60)"
wait_title "$W" "$ws - Tomeview超大文本浏览器-Orvane：$SITE" 30
pane_geometry "$W"
settle "$WORK/top.miff"
activate "$W"
clip_seed "before"
press ctrl+End
changed_view "$WORK/top.miff" "$WORK/end.miff"
keep "$WORK/end.miff" ctrl-end
# The top row now shows line N - PAGE + 1 (1-based); click at its column 5,
# the first digit of "line K".
top=$((N - PAGE + 1))
shift_click_at 0 5
{
    printf '%d 第%d行\n' "$top" "$top"
    for i in $(seq $((top + 1)) $((N - 1))); do printf 'line %d 第%d行\n' "$i" "$i"; done
    printf 'last line 末行'
} >"$WORK/want.txt"
copy_keys "$WORK/want.txt" ctrl+c
expect_clip_file "Shift+click on the top row after Ctrl+End" "$WORK/want.txt"
click_close_box "$W"
wait_exit 20
log ok
