# The program's menus for the end-to-end scripts: opening a pop-up of the
# menu bar with the mouse, picking items, reading check marks. The open
# pop-up is found by its window class (#32768) through wintext, then waited
# for until its item texts are drawn. Sourced by dialog_helpers.sh.

# Menu bar items, x offsets from the main window's left edge; the bar row is
# at y 32 of the window.
MENU_X_FILE=29 MENU_X_ENCODING=83 MENU_X_EDIT=139 MENU_X_FORMAT=193 MENU_Y=32
# Pop-up menus: a frame of 3 pixels, items 18 pixels high, separators 9.
MENU_FRAME=3 MENU_ITEM_H=18 MENU_SEP_H=9
# The last open_menu's screenshot, the pop-up drawn.
MENU_SHOT="$E2E_TMP/menu.miff"

# menu_popup: "x y w h" of the open pop-up menu, empty when none is open.
menu_popup() { wintext windows | awk -F'\t' '$3 == "#32768" { print $4, $5, $6, $7; exit }'; }

# open_menu MAINWINDOW X: opens a pop-up of the menu bar with a click at X
# pixels from the window's left; sets POPUP_X POPUP_Y POPUP_W POPUP_H
# (screen pixels) and leaves a screenshot with the drawn pop-up in MENU_SHOT.
open_menu() {
    local r="" i start
    wintext_build
    for i in 1 2 3; do
        # A pop-up that opened late would close on a second click.
        if [ "$i" -gt 1 ]; then
            r="$(menu_popup)"
            [ -n "$r" ] && break
        fi
        window_geometry "$1"
        xdotool mousemove $((WX + $2)) $((WY + MENU_Y)) click 1
        start=$SECONDS
        while [ $((SECONDS - start)) -lt 5 ]; do
            r="$(menu_popup)"
            [ -n "$r" ] && break 2
            sleep 0.1
        done
    done
    [ -n "$r" ] || fail "the menu at x $2 did not open (see $(shot no-menu))"
    read -r POPUP_X POPUP_Y POPUP_W POPUP_H <<<"$r"
    start=$SECONDS
    while :; do
        import -display "$DISPLAY" -window root "$MENU_SHOT" 2>/dev/null || fail "screenshot failed"
        # Item texts are dark; a blank pop-up has a light grey frame only.
        [ "$(dark "$MENU_SHOT" "$POPUP_X" "$POPUP_Y" "$POPUP_W" "$POPUP_H")" -gt 20 ] && return 0
        [ $((SECONDS - start)) -lt 10 ] || fail "the pop-up menu stays blank (see $(shot blank-menu))"
        sleep 0.1
    done
}

# menu_wait_closed WHAT: waits until no pop-up menu is open.
menu_wait_closed() {
    local start=$SECONDS
    while [ $((SECONDS - start)) -lt 5 ]; do
        [ -z "$(menu_popup)" ] && return 0
        sleep 0.1
    done
    fail "the menu stayed open after $1 (see $(shot menu-stuck))"
}

# menu_key MAINWINDOW X KEY: opens a pop-up and picks an item by its letter.
menu_key() {
    open_menu "$1" "$2"
    local i
    # A key that comes while the menu is still starting up may be lost.
    for i in $(seq 30); do
        [ $((i % 10)) = 1 ] && xdotool key "$3"
        sleep 0.2
        [ -z "$(menu_popup)" ] && return 0
    done
    fail "the menu stayed open after $3 (see $(shot menu-stuck))"
}

# menu_item_y SLOTS...: the screen y of the middle of an item of the open
# pop-up, given the kinds of the slots above it (i item, s separator).
menu_item_y() {
    local y=$((POPUP_Y + MENU_FRAME)) k
    for k in "$@"; do
        if [ "$k" = s ]; then y=$((y + MENU_SEP_H)); else y=$((y + MENU_ITEM_H)); fi
    done
    echo $((y + MENU_ITEM_H / 2))
}

# click_menu_item MAINWINDOW X SLOTS...: opens a pop-up and clicks the item
# below the given slots.
click_menu_item() {
    local w="$1" x="$2"
    shift 2
    open_menu "$w" "$x"
    xdotool mousemove $((POPUP_X + 40)) "$(menu_item_y "$@")" click 1
    menu_wait_closed "a click"
}

# shot_menu NAME: a screenshot of the open pop-up with its item texts drawn.
shot_menu() {
    local img start=$SECONDS
    while :; do
        img="$(shot "$1")"
        [ "$(dark "$img" "$POPUP_X" "$POPUP_Y" "$POPUP_W" "$POPUP_H")" -gt 300 ] && break
        [ $((SECONDS - start)) -lt 10 ] || fail "the pop-up menu stays blank (see $img)"
        sleep 0.1
    done
    printf '%s\n' "$img"
}

# checked_items IMAGE: the indexes (from 0, separators counted as slots) of
# the items of the open pop-up that show a check mark, from the ink in the
# mark column; needs the slot kinds in MENU_SLOTS.
checked_items() {
    local y=$((POPUP_Y + MENU_FRAME)) i=0 k h out=""
    for k in $MENU_SLOTS; do
        if [ "$k" = s ]; then h=$MENU_SEP_H; else h=$MENU_ITEM_H; fi
        if [ "$k" = i ] && [ "$(dark "$1" $((POPUP_X + MENU_FRAME + 1)) $((y + 2)) 14 $((h - 4)))" -gt 8 ]; then
            out+="$i "
        fi
        y=$((y + h))
        i=$((i + 1))
    done
    echo "${out% }"
}
