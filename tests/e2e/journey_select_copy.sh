#!/usr/bin/env bash
# Selecting with the mouse and copying, checked on the X clipboard (Wine
# hands CR LF to X as LF): click + Shift+click within a line and backwards
# over several lines, a drag that ends at column 0 of a line (the copy ends
# with the previous line's terminator), a selection behind a tab (a tab is
# four space widths), double-clicks on words of each character class, on a
# blank run, on the blank after a word and past the end of a line, and Copy
# from the Edit menu as well as Ctrl+C. Copying an empty selection (a
# double-click on an empty line) leaves the clipboard alone.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

doc="$DATA/journey_select.txt"
printf '%s\r\n' 'alpha beta_12 gamma.delta' '中文词组abc 混合' '  spaced   words  ' \
    'the quick brown fox' "mixed	TAB end" '' >"$doc"
printf 'last line 末行' >>"$doc"
# More lines than a page, so that the pane can be measured.
for i in $(seq 1 40); do printf '\r\nfiller %d' "$i"; done >>"$doc"
wdoc="$(winpath "$doc")"

start_app "$wdoc"
W="$(wait_window 'journey_select' 60)"
wait_title "$W" "$wdoc - Tomeview超大文本浏览器-Orvane：$SITE" 30
pane_geometry "$W"
activate "$W"
clip_seed "seed"

# copy WHAT EXPECTED: Ctrl+C, then the clipboard must hold EXPECTED.
copy() { copy_expect "$1" "$2"; }

click_at 0 6
shift_click_at 0 13
copy "click and Shift+click inside a line" 'beta_12'

click_at 3 4
shift_click_at 0 20
copy "click, then Shift+click three lines up" 'delta\n中文词组abc 混合\n  spaced   words  \nthe '

# Drag from line 2 column 2 to column 0 of line 4, copied from the Edit menu.
xdotool mousemove "$(col_x 2)" "$(row_y 2)" mousedown 1
for step in 1 2 3 4; do
    sleep 0.1
    xdotool mousemove $(($(col_x 2) - (step * (CW * 2)) / 4)) $(($(row_y 2) + step * LH / 2))
done
sleep 0.1
xdotool mousemove "$(col_x 0)" "$(row_y 4)"
sleep 0.1
xdotool mouseup 1
open_menu "$W" 139
keep "$WORK/menu.miff" edit-menu
press c
expect_clip "drag to column 0 of a later line, Edit > Copy" 'spaced   words  \nthe quick brown fox\n'

# "mixed", a tab (4 space widths), "TAB": columns 6 to 9.
tab_x=$((TX + 5 * CW + 4 * CW))
xdotool mousemove $((tab_x + 2)) "$(row_y 4)" click 1
xdotool mousemove $((tab_x + 3 * CW + 2)) "$(row_y 4)" keydown shift click 1 keyup shift
copy "click and Shift+click behind a tab" 'TAB'

# Double-clicks: a word of letters, digits and underscore; letters up to a
# period; the period alone; a run of Chinese text up to ASCII; a blank run;
# the blank after a word; past the end of a line (its last run).
double_click_at 0 8
copy "double-click on beta_12" 'beta_12'
double_click_at 0 15
copy "double-click on gamma" 'gamma'
double_click_at 0 19
copy "double-click on the period" '.'
xdotool mousemove $((TX + 4)) "$(row_y 1)" click --repeat 2 --delay 60 1
copy "double-click on Chinese text" '中文词组'
double_click_at 2 9
copy "double-click inside a blank run" '   '
double_click_at 3 3
copy "double-click on the blank after a word" 'the'
xdotool mousemove $((TX + 400)) "$(row_y 3)" click --repeat 2 --delay 60 1
copy "double-click past the end of a line" 'fox'

# An empty selection copies nothing. The Go-to dialog opening afterwards shows
# that Ctrl+C has been handled.
double_click_at 5 3
press ctrl+c
key_for_dialog "$W" ctrl+g '^转跳到$'
press Escape
wait_gone '^转跳到$' 20
expect_clip "Ctrl+C after a double-click on an empty line" 'fox'

click_close_box "$W"
wait_exit 20
log "ok (screenshots in $SHOTS)"
