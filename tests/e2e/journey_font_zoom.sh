#!/usr/bin/env bash
# Zoom with Ctrl+wheel and change the font with Format > 字体: a word of 20
# letters is selected with a double click, and its inverted box on screen
# gives the cell width and the row height after every step. Zooming moves the
# row height by 2 pixels a step down to the smallest font and back; a
# cancelled Font dialog changes nothing; a bigger size chosen in it widens
# and heightens the cells.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
for tool in xdotool convert; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

doc="$DATA/journey_font.txt"
printf 'MMMMMMMMMMMMMMMMMMMM tail\r\nsecond line\r\n' >"$doc"
start_app "$(winpath "$doc")"
wait_main "$(winpath "$doc") - Tomeview超大文本浏览器-Orvane：$SITE" 90
window_geometry "$W"
RX=$((WX + 40)) RY=$((WY + 40))

n=0 SHOT="" BOX=none
box_now() {
    n=$((n + 1))
    SHOT="$(shot "step-$n")"
    BOX="$(sel_box "$SHOT" "$RX" "$RY" 760 100)"
}

# wait_box TEST WHAT: waits until the box "x y w h" satisfies the shell test
# TEST (with $x $y $w $h set).
wait_box() {
    local start=$SECONDS x y w h
    while [ $((SECONDS - start)) -lt 20 ]; do
        box_now
        if [ "$BOX" != none ]; then
            read -r x y w h <<<"$BOX"
            eval "$1" && return 0
        fi
        sleep 0.2
    done
    fail "$2: selection box '$BOX' (see $SHOT)"
}

# Double click on the first word; a busy machine may see two single clicks.
for _ in 1 2 3; do
    xsend "$W" mousemove 60 50 click --repeat 2 --delay 60 1
    sleep 0.5
    box_now
    [ "$BOX" != none ] && break
done
[ "$BOX" != none ] || fail "the double click selected nothing (see $SHOT)"
read -r X0 Y0 W0 H0 <<<"$BOX"
[ $((W0 % 20)) = 0 ] && [ "$H0" -ge 14 ] || fail "the word's box '$BOX' is not 20 cells of one row"
B0="$BOX"
log "start: cell $((W0 / 20)) x $H0"

wheel() {  # wheel up|down COUNT, with Ctrl held, over the text
    local b=4
    [ "$1" = down ] && b=5
    xsend "$W" mousemove 300 200 keydown ctrl click --repeat "$2" --delay 80 "$b" keyup ctrl
}

# One step away from the user: 2 pixels more per row.
wheel up 1
wait_box '[ "$h" = $((H0 + 2)) ] && [ "$w" -ge "$W0" ] && [ $((w % 20)) = 0 ]' "Ctrl+wheel up"
# Two steps toward the user: 2 pixels less than at the start.
wheel down 2
wait_box '[ "$h" = $((H0 - 2)) ] && [ "$w" -le "$W0" ]' "Ctrl+wheel down twice"
wheel up 1
wait_box '[ "$BOX" = "$B0" ]' "Ctrl+wheel back to the start size"
# The font height stops at 8: four steps from 16, and more change nothing.
# (The font of height 10 gives rows 6 pixels lower than at 16; that of
# height 8 at least one pixel less again.)
wheel down 6
wait_box '[ "$h" -le $((H0 - 7)) ]' "Ctrl+wheel down to the smallest font"
SMALL="$BOX"
wheel down 1
sleep 1
box_now
[ "$BOX" = "$SMALL" ] || fail "zoomed below the smallest font: '$BOX' after '$SMALL' (see $SHOT)"
wheel up 4
wait_box '[ "$BOX" = "$B0" ]' "Ctrl+wheel back from the smallest font"

# font_dialog SIZE BUTTON: Format > 字体, type SIZE into the size field and
# press the button (1 OK, 2 Cancel).
font_dialog() {
    local F i
    click_menu_item "$W" "$MENU_X_FORMAT"
    F="$(wait_hwnd 字体 20 '#32770')"
    cache_controls "$F"
    for i in 1 2 3 4; do
        click_ctl "$F" 1138:ComboBox 20
        xdotool key End shift+Home
        xdotool type "$1"
        sleep 0.3
        wintext controls "$F" | awk -F'\t' -v s="$1" '$2 == 1001 && $9 == s { f = 1 } END { exit !f }' && break
    done
    [ "$i" -lt 4 ] || fail "could not type the size $1"
    click_ctl "$F" "$2:Button"
    wait_no_hwnd 字体 10
}

# Cancel: nothing changes.
font_dialog 8 2
sleep 0.5
box_now
[ "$BOX" = "$B0" ] || fail "the cancelled Font dialog changed the text: '$BOX', was '$B0' (see $SHOT)"

# OK with 20 points: larger cells, the word still selected.
font_dialog 20 1
wait_box '[ "$h" -ge $((H0 + 10)) ] && [ "$w" -ge $((W0 * 3 / 2)) ] && [ $((w % 20)) = 0 ]' "font size 20"
log "size 20: box $BOX"

click_close_box "$W"
wait_exit 20
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
log "ok ($n screenshots)"
