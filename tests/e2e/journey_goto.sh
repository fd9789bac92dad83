#!/usr/bin/env bash
# The Go-to dialog (Ctrl+G) as a user drives it: the line typed becomes the
# top line, which double-click and Ctrl+C on the pane's rows read back; a
# line already on screen (up to the one just under the last row) does not
# scroll; the selection stays where it was; "0", an empty box, "-5", "abc"
# and a number past the end all show the last line, with the view scrolled
# as far as it goes (15 empty rows may follow the last line).
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

N=3000
doc="$DATA/journey_goto.txt"
{
    for i in $(seq 1 $((N - 1))); do printf 'g%05d go to line %d\r\n' "$i" "$i"; done
    printf 'LASTLINE g%05d' "$N"
} >"$doc"
wdoc="$(winpath "$doc")"

start_app "$wdoc"
W="$(wait_window 'journey_goto' 60)"
wait_title "$W" "$wdoc - Tomeview超大文本浏览器-Orvane：$SITE" 30
pane_geometry "$W"
settle "$WORK/top.miff"
clip_seed "seed"

# row_word ROW WANT WHAT: the first word of pane row ROW, by double-click and
# Ctrl+C, must be WANT.
row_word() {
    activate "$W"
    double_click_at "$1" 2
    copy_expect "$3 (row $1)" "$2"
}
g() { printf 'g%05d' "$1"; }

# The edit starts with "1": Enter on the first screen moves nothing.
key_for_dialog "$W" ctrl+g '^转跳到$'
press Return
wait_gone '^转跳到$' 20
row_word 0 "$(g 1)" "Go to with the initial 1"

# Go to 1000: line 1000 on top, the rows below follow; the selection (the
# word on line 1) is kept.
clip_seed "seed"
goto_line "$W" 1000
copy_expect "Ctrl+C after Go to: the selection did not move" "$(g 1)"
row_word 0 "$(g 1000)" "Go to 1000"
row_word $((PAGE - 1)) "$(g $((999 + PAGE)))" "Go to 1000, last complete row"

# Line 1000 + ROWS is the line just under the last row shown: no scrolling.
# One line further scrolls it to the top.
goto_line "$W" $((1000 + ROWS))
row_word 0 "$(g 1000)" "Go to the line just under the last row"
goto_line "$W" $((1001 + ROWS))
row_word 0 "$(g $((1001 + ROWS)))" "Go to the line after it"

# Esc closes the dialog without a jump.
key_for_dialog "$W" ctrl+g '^转跳到$'
press Home shift+End
xdotool type --delay 40 -- 2000
press Escape
wait_gone '^转跳到$' 20
row_word 0 "$(g $((1001 + ROWS)))" "Esc in the Go-to dialog"

# Out of range: the last line, with the view scrolled to its limit.
click_at 1 0
activate "$W"
press ctrl+Home
expect_view "$WORK/top.miff" home "Ctrl+Home after the Go-tos"
goto_line "$W" 0
changed_view "$WORK/top.miff" "$WORK/last.miff"
keep "$WORK/last.miff" goto-0
last_row=$((PAGE - 16))
[ "$(ink_rows_from "$WORK/last.miff" $((last_row + 1)) $((ROWS - 1)))" = 0 ] ||
    fail "Go to 0: text below row $last_row (see $SHOTS/goto-0.png)"
activate "$W"
double_click_at "$last_row" 2
copy_expect "Go to 0: the word on row $last_row" 'LASTLINE'
row_word 0 "$(g $((N + 16 - PAGE)))" "Go to 0"
for text in '' -5 abc 99999999999999999999; do
    click_at 0 0
    activate "$W"
    press ctrl+Home
    expect_view "$WORK/top.miff" "home-before-$text" "Ctrl+Home before Go to '$text'"
    goto_line "$W" "$text"
    expect_view "$WORK/last.miff" "goto-$text" "Go to '$text' (expected the view of Go to 0)"
done

click_close_box "$W"
wait_exit 20
log "ok (screenshots in $SHOTS)"
