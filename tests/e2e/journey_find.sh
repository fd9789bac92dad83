#!/usr/bin/env bash
# Find and Count through the Find dialog, as a user does it: Ctrl+F, type the
# text, click the buttons and tick the options, F3, Edit > Copy. After every
# step the selected occurrence is checked on screen (the inverted cells) and
# through the clipboard, and the dialog's status line is read back; counts
# are checked for every option set.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
for tool in xdotool xclip convert; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

FOUND="查找结果：1 处地方被查找到."
notfound() { printf "查找结果：全文查找不到文本 '%s'." "$1"; }

# Each occurrence of "alpha" (any case) has a line and column of its own.
doc="$DATA/journey_find.txt"
printf '%s\r\n' "alpha one" "Beta ALPHA two" "xalphax alpha" "third Alpha line" "no match here" "end alpha" >"$doc"
wd="$(winpath "$doc")"

start_app "$wd"
wait_main "$wd - Tomeview超大文本浏览器-Orvane：$SITE" 90
window_geometry "$W"
MX=$WX MY=$WY

# Ctrl+F in the text pane; a busy machine may drop the first key.
D="$(press_find_keys xsend "$W" key)" || fail "Ctrl+F showed no Find dialog"
cache_controls "$D"
[ "$(ctl "$D" 1013 9)" = "" ] || fail "the edit is not empty with nothing selected"
# options_are HWND WANT: the check states of whole word, match case, wrap
# and regular expression are WANT (read from one listing of the dialog, again
# for up to 10 s while a busy program has not answered for one of them).
options_are() {
    local list got="" start=$SECONDS
    while [ $((SECONDS - start)) -lt 10 ]; do
        list="$(wintext controls "$1")"
        got="$(for id in 1016 1017 1018 1030; do ctl_pick "$id" 4 <<<"$list"; done | tr -d '\n')"
        [ "$got" = "$2" ] && return 0
        sleep 0.3
    done
    printf '%s' "$got"
    return 1
}
opts="$(options_are "$D" 0010)" ||
    fail "options at start are not: whole word off, match case off, wrap on, regular expression off (they are $opts)"

# The part of the text pane left of and above the dialog holds every match.
read -r dx dy <<<"$(wintext windows | awk -F'\t' -v h="$D" '$1 == h { print $4, $5 }')"
RX=$((MX + 40)) RY=$((MY + 40))
RW=$((dx - RX - 2)) RH=$((dy - RY - 2))
[ "$RW" -gt 150 ] && [ "$RH" -gt 120 ] || fail "the dialog covers the first rows ($dx,$dy)"

n=0 SHOT="" SEL=none
# selection_now: SEL becomes the selection box in a new screenshot.
selection_now() {
    n=$((n + 1))
    SHOT="$(shot "step-$n")"
    SEL="$(sel_box "$SHOT" "$RX" "$RY" "$RW" "$RH")"
}

# wait_selection LINE COL LEN WHAT: waits until just that occurrence is selected.
wait_selection() {
    local want="$(( X0 + $2 * CW )) $(( Y0 + $1 * RHT )) $(( $3 * CW )) $RHT" got="" start=$SECONDS
    while [ $((SECONDS - start)) -lt 20 ]; do
        selection_now
        got="$SEL"
        [ "$got" = "$want" ] && return 0
        sleep 0.2
    done
    fail "$4: selection box '$got', expected line $(($1 + 1)) column $2 ('$want', see $SHOT)"
}

# Type into the dialog's edit, replacing its text.
SEARCH=""
type_search() {
    SEARCH="$1"
    type_into_ctl "$D" 1013 "$1" 4 30
}

# copy_is TEXT: Edit > Copy from the menu bar must put TEXT on the clipboard.
# The menu brings the main window to the front, so Ctrl+F brings the dialog
# back; it seeds the edit with the selection, and the search text is typed
# again afterwards.
copy_is() {
    local got
    clip_seed
    clip_copy_with "$E2E_TMP/clip-changed" click_menu_item "$W" "$MENU_X_EDIT"
    got="$(cat "$E2E_TMP/clip-changed")"
    [ "$got" = "$1" ] || fail "the selection copies as '$got', expected '$1'"
    dialog_to_front
    wait_ctl_text "$D" 1013 "$1" 10
    type_search "$SEARCH"
}

# dialog_to_front: Ctrl+F until the dialog is the topmost window again.
dialog_to_front() {
    local i
    for i in $(seq 20); do
        [ "$(wintext windows | awk -F'\t' 'NR == 1 { print $1 }')" = "$D" ] && return 0
        # A real key press: the menu left the keyboard focus with the program.
        [ $((i % 5)) = 1 ] && xdotool key ctrl+f
        sleep 0.2
    done
    fail "the Find dialog did not come back to the front"
}

type_search alpha

# The first hit calibrates the cell grid: line 1, column 0, five cells.
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "$FOUND" 20
box="none" start=$SECONDS
while [ "$box" = none ] && [ $((SECONDS - start)) -lt 20 ]; do
    selection_now
    box="$SEL"
done
[ "$box" != none ] || fail "nothing selected after the first Find next (see $SHOT)"
read -r X0 Y0 bw RHT <<<"$box"
CW=$((bw / 5))
[ $((CW * 5)) = "$bw" ] && [ "$CW" -ge 6 ] && [ "$CW" -le 14 ] && [ "$RHT" -ge 14 ] && [ "$RHT" -le 30 ] ||
    fail "first match box '$box' is not five cells of one row (see $SHOT)"
[ "$X0" -lt $((MX + 70)) ] && [ "$Y0" -lt $((MY + 60)) ] || fail "first match not at the start of line 1: $box"
copy_is alpha

# Forward with the default options (case ignored, wrap on); F3 does the same.
click_ctl "$D" 1021
wait_selection 1 5 5 "find next 2"
copy_is ALPHA
xdotool key F3
wait_selection 2 1 5 "F3 inside a word"
xdotool key F3
wait_selection 2 8 5 "F3 to the next occurrence on the same line"
click_ctl "$D" 1021
wait_selection 3 6 5 "find next 5"
click_ctl "$D" 1021
wait_selection 5 4 5 "find next 6"
click_ctl "$D" 1021
wait_selection 0 0 5 "find next wraps to the top"
[ "$(ctl "$D" 1023 9)" = "$FOUND" ] || fail "status after the wrap"

# Backward: wraps from the top to the last occurrence.
click_ctl "$D" 1022
wait_selection 5 4 5 "find previous wraps to the end"
click_ctl "$D" 1022
wait_selection 3 6 5 "find previous"

# Match case: 'Alpha' and 'ALPHA' are passed over in both directions.
set_check "$D" 1017 1
click_ctl "$D" 1022
wait_selection 2 8 5 "find previous, match case"
click_ctl "$D" 1022
wait_selection 2 1 5 "find previous, match case, same line"
click_ctl "$D" 1022
wait_selection 0 0 5 "find previous, match case, over 'ALPHA'"
click_ctl "$D" 1021
wait_selection 2 1 5 "find next, match case, over 'ALPHA'"

# Whole word as well: 'xalphax' no longer matches.
set_check "$D" 1016 1
click_ctl "$D" 1021
wait_selection 2 8 5 "find next, whole word"
xdotool key F3
wait_selection 5 4 5 "F3, whole word and match case"

# Without wrap around the search stops at the ends and keeps the selection.
set_check "$D" 1018 0
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "$(notfound alpha)" 20
wait_selection 5 4 5 "find next past the last match without wrap"
click_ctl "$D" 1022
wait_ctl_text "$D" 1023 "$FOUND" 20
wait_selection 2 8 5 "find previous without wrap"
click_ctl "$D" 1022
wait_selection 0 0 5 "find previous to the first match"
click_ctl "$D" 1022
wait_ctl_text "$D" 1023 "$(notfound alpha)" 20
wait_selection 0 0 5 "find previous before the first match without wrap"

# A text that is nowhere: not found in either direction, with wrap on too.
set_check "$D" 1018 1
type_search zebra
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "$(notfound zebra)" 20
wait_selection 0 0 5 "zebra not found forwards"
click_ctl "$D" 1022
wait_ctl_text "$D" 1023 "$(notfound zebra)" 20
wait_selection 0 0 5 "zebra not found backwards"

# Counts for each option set; counting moves nothing.
type_search alpha
count_is() {
    click_ctl "$D" 1004
    wait_ctl_text "$D" 1023 "计数：$1 处匹配." 20
    wait_selection 0 0 5 "$2 (the count moved the selection)"
}
set_check "$D" 1016 0
set_check "$D" 1017 0
count_is 6 "count ignoring case"
set_check "$D" 1017 1
count_is 4 "count with match case"
set_check "$D" 1016 1
count_is 3 "count with whole word and match case"
set_check "$D" 1017 0
count_is 5 "count with whole word"
type_search zebra
count_is 0 "count of a missing text"
type_search ALPHA
count_is 5 "count of the upper-case text, case ignored"

# A regular expression selects its whole match; one that does not compile
# is said and moves nothing. The box stays ticked from here on.
set_check "$D" 1030 1
type_search 'x[a-z]+x'
click_ctl "$D" 1021
wait_selection 2 0 7 "a regular expression's match"
type_search 'a(b'
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "正则表达式有误：missing closing parenthesis（第 4 个字符）" 20
wait_selection 2 0 7 "a pattern that does not compile (it moved the selection)"
type_search ALPHA

# Closing the dialog only hides it: F3 still searches and writes the status
# into the hidden dialog; Ctrl+F shows it again seeded from the selection.
set_check "$D" 1017 1
set_check "$D" 1016 0
click_close_box "$(wait_window '^查找$' 10)"
wait_no_hwnd 查找 10
xdotool key F3
wait_selection 1 5 5 "F3 with the dialog closed"
wait_ctl_text "$D" 1023 "$FOUND" 10
D2="$(press_find_keys xdotool key)" || fail "Ctrl+F showed no Find dialog the second time"
[ "$D2" = "$D" ] || fail "Ctrl+F showed the dialog $D2, not $D (see $(shot new-dialog))"
[ "$(ctl "$D" 1013 9)" = ALPHA ] || fail "the edit was not seeded from the selection"
opts="$(options_are "$D" 0111)" || fail "options not kept (they are $opts)"
[ "$(ctl "$D" 1023 9)" = "$FOUND" ] || fail "the status line lost its text"

# The keyboard alone. Ctrl+F left the caret in the edit with its text
# selected: typing replaces it, Enter is Find next (match case is on: no
# 'beta'). Tab twice reaches "match case", Space clears it; Shift+Tab twice
# goes back to the edit; Enter finds 'Beta'. Esc hides the dialog.
xdotool type --delay 40 beta
wait_ctl_text "$D" 1013 beta 10
xdotool key Return
wait_ctl_text "$D" 1023 "$(notfound beta)" 20
xdotool key --delay 80 Tab Tab space
for i in $(seq 20); do [ "$(ctl "$D" 1017 4)" = 0 ] && break; sleep 0.2; done
[ "$(ctl "$D" 1017 4)" = 0 ] || fail "Tab, Tab, Space did not clear 'match case'"
xdotool key --delay 80 shift+Tab shift+Tab Return
wait_ctl_text "$D" 1023 "$FOUND" 20
wait_selection 1 0 4 "Enter in the Find dialog"
xdotool key Escape
wait_no_hwnd 查找 10
wait_selection 1 0 4 "Esc in the Find dialog"

click_close_box "$W"
wait_exit 20
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
log "ok ($n screenshots in $SHOTS)"
