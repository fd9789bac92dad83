#!/usr/bin/env bash
# Scrolling as a user does it, each way checked against the same place
# reached by the Go-to dialog (pixel for pixel over the text pane):
# Page Down, the mouse wheel (9 lines a notch), the scroll bar's arrows
# (1 line) and track (1 page), dragging its thumb to the bottom (the bar's
# limit: 15 rows past the last line, as for the wheel), Ctrl+End (the last line on the last
# complete row) and Ctrl+Home (back to the first screen); sideways,
# Shift+wheel (30 space widths a notch) against the horizontal bar's arrow
# (one space width). Arrow keys move nothing.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

N=2000
doc="$DATA/journey_scroll.txt"
python3 - "$doc" "$N" <<'PY' || fail "could not write $doc"
import sys
path, n = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    for i in range(1, n):
        text = "row%05d scroll %s" % (i, "wide " * 60 if i == 5 else "x" * (i % 23))
        f.write(text + "\r\n")
    f.write("LASTLINE row%05d" % n)
PY
wdoc="$(winpath "$doc")"

start_app "$wdoc"
W="$(wait_window 'journey_scroll' 60)"
wait_title "$W" "$wdoc - Tomeview超大文本浏览器-Orvane：$SITE" 30
pane_geometry "$W"
settle "$WORK/s0.miff"
keep "$WORK/s0.miff" top
[ "$PAGE" -ge 10 ] || fail "only $PAGE rows fit; the checks need at least 10"
P=$PAGE
bar_x=$((PR - 9))

# The bar's arrows and track, in screen coordinates of the vertical bar.
bar_down() { xdotool mousemove "$bar_x" $((PY + PH - 8)); xdotool click --repeat "$1" --delay 120 1; }
bar_up() { xdotool mousemove "$bar_x" $((PY + 8)); xdotool click --repeat "$1" --delay 120 1; }
track_above() { xdotool mousemove "$bar_x" $((PY + 20)) click 1; }
track_below() { xdotool mousemove "$bar_x" $((PY + PH - 22)) click 1; }
# drag_thumb FROM_Y Y...: presses at FROM_Y on the bar, moves through the Ys, releases.
drag_thumb() {
    local y
    xdotool mousemove "$bar_x" "$1"
    sleep 0.2
    xdotool mousedown 1
    shift
    for y in "$@"; do
        sleep 0.2
        xdotool mousemove "$bar_x" "$y"
    done
    sleep 0.2
    xdotool mouseup 1
}

# reference NAME LINE: the pane with LINE (1-based) scrolled to the top by
# Go to, from the first screen; Ctrl+Home afterwards.
reference() {
    goto_line "$W" "$2"
    changed_view "$WORK/s0.miff" "$WORK/ref-$1.miff"
    activate "$W"
    press ctrl+Home
    expect_view "$WORK/s0.miff" "home-after-$1" "Ctrl+Home after Go to $2"
}

# Go-to references first: every later route must reach one of them.
notches=$((ROWS / 9 + 2))
reference page3 $((3 * P + 1))
reference page3plus2 $((3 * P + 3))
reference page2plus2 $((2 * P + 3))
reference wheel $((9 * notches + 1))
reference wheelminus3 $((9 * notches - 2))
reference end $((N - P + 1))
keep "$WORK/ref-end.miff" goto-end

# Keys. Arrows first: they must not move the view, so the Page Downs after
# them land exactly three pages down.
activate "$W"
xdotool mousemove $((TX + 200)) $((PY + PH / 2))
press Down Down Right Up Left Down
press Next Next Next
expect_view "$WORK/ref-page3.miff" keys-page3 "arrows and 3 x Page Down"
# Two clicks on the bar's down arrow: two lines.
bar_down 2
expect_view "$WORK/ref-page3plus2.miff" bar-arrows "2 clicks on the down arrow after 3 x Page Down"
# Page Up, then a click on the track below the thumb goes one page again.
activate "$W"
press Prior
expect_view "$WORK/ref-page2plus2.miff" keys-pageup "Page Up"
track_below
expect_view "$WORK/ref-page3plus2.miff" track-below "a click on the track below the thumb"
activate "$W"
press ctrl+Home
expect_view "$WORK/s0.miff" home "Ctrl+Home"

# Shift+wheel scrolls sideways by 30 space widths a notch, as far as 30
# clicks on the horizontal bar's right arrow (one space width each); Ctrl+Home
# and Shift+wheel back both return to the left edge.
xdotool mousemove $((TX + 200)) $((PY + PH / 2))
xdotool keydown shift click 5 keyup shift
changed_view "$WORK/s0.miff" "$WORK/wide.miff"
keep "$WORK/wide.miff" shift-wheel
activate "$W"
press ctrl+Home
expect_view "$WORK/s0.miff" home-from-wide "Ctrl+Home after Shift+wheel"
xdotool mousemove $((PR - 17 - 9)) $((PY + PH + 8))
xdotool click --repeat 30 --delay 60 1
expect_view "$WORK/wide.miff" hbar-right "30 clicks on the right arrow (expected the view of one Shift+wheel notch)"
xdotool mousemove $((TX + 200)) $((PY + PH / 2))
xdotool keydown shift click 4 keyup shift
expect_view "$WORK/s0.miff" shift-wheel-back "Shift+wheel back"

# Mouse wheel: 9 lines a notch, then three lines back with the up arrow.
xdotool mousemove $((TX + 200)) $((PY + PH / 2))
xdotool click --repeat "$notches" --delay 80 5
expect_view "$WORK/ref-wheel.miff" wheel "$notches wheel notches"
bar_up 3
expect_view "$WORK/ref-wheelminus3.miff" bar-up "3 clicks on the up arrow after the wheel"
xdotool mousemove $((TX + 200)) $((PY + PH / 2))
xdotool click --repeat "$notches" --delay 80 4
expect_view "$WORK/s0.miff" wheel-up "$notches wheel notches back up (stopping at the top)"

# Ctrl+End: the last line on the last complete row, and nothing below it.
activate "$W"
press ctrl+End
expect_view "$WORK/ref-end.miff" ctrl-end "Ctrl+End"
grab_view "$WORK/end.miff"
keep "$WORK/end.miff" ctrl-end
[ "$(ink_rows_from "$WORK/end.miff" $((P - 1)) $((P - 1)))" = 1 ] || fail "Ctrl+End: the last complete row is empty (see $SHOTS/ctrl-end.png)"
if [ "$ROWS" -gt "$P" ]; then
    [ "$(ink_rows_from "$WORK/end.miff" "$P" "$P")" = 0 ] || fail "Ctrl+End: text below the last line (see $SHOTS/ctrl-end.png)"
fi
# A click on the track above the thumb goes one page up from there.
track_above
grab_view "$WORK/end-page-up.miff"
changed_view "$WORK/end.miff" "$WORK/end-page-up.miff"
activate "$W"
press Next
expect_view "$WORK/end.miff" page-down-to-end "Page Down after a click on the track above the thumb"

# The thumb dragged to the bottom stops where the wheel does: 15 lines
# further than Ctrl+End, which 15 clicks on the down arrow also reach (a 16th
# does nothing).
bar_down 16
grab_view "$WORK/bar-bottom.miff"
changed_view "$WORK/end.miff" "$WORK/bar-bottom.miff"
settle "$WORK/bar-bottom.miff"
keep "$WORK/bar-bottom.miff" bar-bottom
last_row=$((P - 16))
[ "$(ink_rows_from "$WORK/bar-bottom.miff" "$last_row" "$last_row")" = 1 ] &&
    [ "$(ink_rows_from "$WORK/bar-bottom.miff" $((last_row + 1)) $((ROWS - 1)))" = 0 ] ||
    fail "down arrow to the bar's end: the last line is not on row $last_row with empty rows below (see $SHOTS/bar-bottom.png)"
activate "$W"
press ctrl+Home
expect_view "$WORK/s0.miff" home-2 "Ctrl+Home after the down arrows"
# Thumb: press on it just below the up arrow, drag to a little below the bar
# (farther away the thumb would snap back), release.
drag_thumb "$((PY + 21))" $((PY + PH / 4)) $((PY + PH / 2)) $((PY + PH - 30)) $((PY + PH + 8))
expect_view "$WORK/bar-bottom.miff" thumb-bottom "thumb dragged to the bottom"
# And back up to the top from just above the down arrow.
drag_thumb "$((PY + PH - 21))" $((PY + PH / 2)) $((PY + 30)) $((PY - 8))
expect_view "$WORK/s0.miff" thumb-top "thumb dragged back to the top"

# The line on the last complete row after Ctrl+End is the last line.
activate "$W"
press ctrl+End
expect_view "$WORK/ref-end.miff" ctrl-end-2 "Ctrl+End again"
clip_seed "before"
xdotool mousemove "$(col_x 2)" "$(row_y $((P - 1)))" click --repeat 2 --delay 60 1
copy_expect "double-click on the last complete row after Ctrl+End" 'LASTLINE'

click_close_box "$W"
wait_exit 20
log "ok: $P rows a page, $notches wheel notches, screenshots in $SHOTS"
