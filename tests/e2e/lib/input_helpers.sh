# Helpers for the journey_*.sh scripts, which drive tomeview.exe as a user
# would. Source it after app_common.sh. It finds the text pane on screen,
# takes screenshots of the pane that wait for the drawing to settle and makes
# the main window active before keys are sent; with dialog_helpers.sh (and so
# the clipboard and menu helpers).
#
# Pane geometry (set by pane_geometry, screen coordinates):
#   PX PY    top-left of the text pane (the client area of the main window)
#   PW PH    width without the vertical scroll bar, height of the text area
#   PR       right edge of the pane (exclusive), scroll bar included
#   SEPX     x of the gutter line; TX = x of text column 0 at offset 0
#   LH       row height; CW space width; PAGE complete rows; ROWS rows shown

for tool in xdotool xclip import convert compare; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
source "$(dirname "${BASH_SOURCE[0]}")/dialog_helpers.sh"

# Screenshots of an earlier run would mix with this run's.
rm -f "$SHOTS"/*.png "$SHOTS"/*.miff
WORK="$E2E_TMP"

INACTIVE_CAPTION=808080
GUTTER_LINE=A5A5A5

# pixel IMAGE X Y: the colour as RRGGBB.
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 -format '%[hex:p{0,0}]' info: 2>/dev/null; }

grab_root() { import -display "$DISPLAY" -window root "$1" 2>/dev/null || fail "screenshot failed"; }

# Keeps a working image among the screenshots under NAME (PNG at the end).
keep() { cp "$1" "$SHOTS/$2.miff"; }

# is_active W: the caption shows the active colour and W has the X focus,
# which keys sent through XTEST go to (Wine may draw the caption active
# before it moves the focus back from a dialog that closed).
is_active() {
    caption_active "$1" && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(xid "$1")" ]
}
# caption_active W: Wine draws W's caption as the active window's.
caption_active() {
    window_geometry "$1"
    grab_root "$WORK/cap.miff"
    [ "$(pixel "$WORK/cap.miff" $((WX + WW / 2)) $((WY + 4)))" != "$INACTIVE_CAPTION" ]
}

# activate W: makes W the active window by clicking on its caption (without a
# window manager Wine keeps an inactive window inactive when it only gets the
# X focus). Keys sent with xdotool key then reach it.
activate() {
    local w="$1" tries start
    for tries in 1 2 3 4 5; do
        is_active "$w" && return 0
        window_geometry "$w"
        xdotool mousemove $((WX + WW / 2)) $((WY + 10)) click 1
        start=$SECONDS
        while [ $((SECONDS - start)) -lt 3 ]; do
            is_active "$w" && return 0
            sleep 0.1
        done
    done
    fail "window $w did not become active"
}

# pane_geometry W [GUTTER]: measures the text pane of the main window W from
# a screenshot. Call it while the view shows the top of a document of at
# least ROWS + 1 and fewer than 1000 lines, so that the gutter line is
# GUTTER pixels (default 45, at 96 dpi) right of the pane's edge.
pane_geometry() {
    local w="$1" gw="${2:-45}" img="$WORK/geometry.miff" x y top="" bottom="" start=$SECONDS
    SEPX=""
    while [ -z "$SEPX" ] && [ $((SECONDS - start)) -lt 20 ]; do
        window_geometry "$w"
        grab_root "$img"
        y=$((WY + WH / 2))
        for x in $(convert "$img" -crop "200x1+$WX+$y" +repage -depth 8 txt:- |
            awk -v c="#$GUTTER_LINE" '$3 == c { split($1, a, ","); print a[1] }'); do
            SEPX=$((WX + x))
            break
        done
        [ -n "$SEPX" ] || sleep 0.2
    done
    [ -n "$SEPX" ] || fail "no gutter line found in $(keep "$img" geometry; echo "$SHOTS/geometry.png")"
    read -r top bottom < <(convert "$img" -crop "1x$WH+$SEPX+$WY" +repage -depth 8 txt:- |
        awk -v c="#$GUTTER_LINE" '$3 == c { split($1, a, ","); sub(":", "", a[2]); if (f == "") f = a[2]; l = a[2] } END { print f, l }')
    PY=$((WY + top))
    PH=$((bottom - top + 1))
    PX=$((SEPX - gw))
    TX=$((SEPX + 3))
    PR=$((WX + WW - (PX - WX)))
    PW=$((PR - 17 - PX))
    CW=8
    # Row height: the line numbers in the gutter start one row height apart.
    local starts
    starts="$(convert "$img" -crop "$((SEPX - PX - 2))x$PH+$PX+$PY" +repage -colorspace Gray \
        -scale "1x$PH!" -depth 8 txt:- |
        awk -F'[,:( )]+' 'NR > 1 { ink = ($(NF - 1) < 255) } NR > 1 && ink && !prev { print $2 } NR > 1 { prev = ink }')"
    set -- $starts
    [ $# -ge 3 ] || fail "could not find the gutter rows (see $(keep "$img" geometry; echo "$SHOTS/geometry.png"))"
    LH=$(($2 - $1))
    local a b
    a=$1
    shift
    for b in "$@"; do
        [ $((b - a)) = "$LH" ] || [ $((b + LH)) -gt "$PH" ] || fail "gutter rows not evenly spaced: $starts"
        a=$b
    done
    PAGE=$((PH / LH))
    ROWS=$(((PH + LH - 1) / LH))
    log "pane at $PX,$PY ${PW}x$PH, gutter line x=$SEPX, row height $LH, $PAGE complete rows"
}

row_y() { printf '%d' $((PY + $1 * LH + LH / 2)); }
# x inside the left half of column C (ASCII text, no horizontal scroll).
col_x() { printf '%d' $((TX + $1 * CW + 2)); }

# grab_view OUT: the text pane (gutter and text, no scroll bars).
grab_view() {
    import -display "$DISPLAY" -window root -crop "${PW}x$PH+$PX+$PY" +repage "$1" 2>/dev/null ||
        fail "screenshot failed"
}

same_image() { [ "$(pixel_diff "$1" "$2")" = 0 ]; }

# settle OUT [SECONDS]: grabs the pane until two grabs in a row are equal.
settle() {
    local out="$1" limit="${2:-20}" start=$SECONDS
    grab_view "$WORK/settle-a.miff"
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        sleep 0.15
        grab_view "$WORK/settle-b.miff"
        if same_image "$WORK/settle-a.miff" "$WORK/settle-b.miff"; then
            mv "$WORK/settle-b.miff" "$out"
            return 0
        fi
        mv "$WORK/settle-b.miff" "$WORK/settle-a.miff"
    done
    fail "the pane kept changing for $limit s"
}

# changed_view REF OUT [SECONDS]: waits until the pane differs from REF and
# has settled; the result goes to OUT.
changed_view() {
    local ref="$1" out="$2" limit="${3:-20}" start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        grab_view "$out"
        if ! same_image "$ref" "$out"; then
            settle "$out" "$limit"
            return 0
        fi
        sleep 0.1
    done
    keep "$out" "unchanged"
    fail "the pane did not change within $limit s (see $SHOTS/unchanged.png)"
}

# expect_view REF NAME WHAT [SECONDS]: waits until the pane equals REF;
# fails naming WHAT and keeping both images otherwise.
expect_view() {
    local ref="$1" name="$2" what="$3" limit="${4:-15}" start=$SECONDS
    local out="$WORK/expect.miff"
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        grab_view "$out"
        if same_image "$ref" "$out"; then
            return 0
        fi
        sleep 0.15
    done
    keep "$out" "$name-got"
    keep "$ref" "$name-expected"
    fail "$what: the pane differs from the expected one ($(pixel_diff "$ref" "$out") pixels; see $SHOTS/$name-got.png and $name-expected.png)"
}

# ink_rows_from IMAGE FROM TO: how many of the pane rows FROM..TO have ink
# right of the gutter (which widens with the digits: 16 pixels are skipped).
ink_rows_from() {
    local img="$1" from="$2" to="$3" n=0 r x=$((TX - PX + 16))
    for r in $(seq "$from" "$to"); do
        [ "$(ink "$img" "$x" $((r * LH)) $((PW - x)) "$LH")" -gt 0 ] && n=$((n + 1))
    done
    printf '%d' "$n"
}

# Keys go to the active window through the XTEST extension.
press() { xdotool key --delay 40 "$@"; }

# open_dialog PATTERN SECONDS: waits for a dialog of the program and for it
# to be active; prints its window id.
open_dialog() {
    local d start
    d="$(wait_window "$1" "$2")" || exit 1
    start=$SECONDS
    local click=$((SECONDS + 3))
    while ! is_active "$d"; do
        # Under load the X focus may stay on another window of the program
        # while Wine has made the dialog active (its caption says so, and
        # Wine gives the program's keys to its active window).
        [ $((SECONDS - start)) -ge 6 ] && caption_active "$d" && break
        [ $((SECONDS - start)) -lt "$2" ] || fail "dialog /$1/ did not become active"
        # A key pressed again for a dialog that came late activated the
        # main window after it: give the activation back now and then.
        if [ $SECONDS -ge $click ]; then
            window_geometry "$d"
            xdotool mousemove $((WX + WW / 2)) $((WY + 10)) click 1  # its caption
            click=$((SECONDS + 4))
        fi
        sleep 0.1
    done
    printf '%s\n' "$d"
}

# key_for_dialog W KEY PATTERN: presses KEY in the active W until a dialog
# titled PATTERN is shown (a busy machine may lose the key), then waits for
# the dialog to be active.
key_for_dialog() {
    local i start
    for i in 1 2 3 4; do
        # A dialog that came late would lose the activation to W.
        [ -n "$(find_window "$3")" ] && break
        activate "$1"
        press "$2"
        start=$SECONDS
        while [ $((SECONDS - start)) -lt 10 ] && [ -z "$(find_window "$3")" ]; do sleep 0.1; done
    done
    open_dialog "$3" 20 >/dev/null || exit 1
}

# goto_line W TEXT: Ctrl+G, replaces the edit's text by TEXT, Enter.
goto_line() {
    local w="$1" text="$2"
    key_for_dialog "$w" ctrl+g '^转跳到$'
    press Home shift+End
    [ -n "$text" ] && xdotool type --delay 40 -- "$text"
    [ -z "$text" ] && press BackSpace
    press Return
    wait_gone '^转跳到$' 20
}

# Mouse actions on the text pane at text column C of pane row R.
click_at() { xdotool mousemove "$(col_x "$2")" "$(row_y "$1")" click 1; }
shift_click_at() {
    xdotool mousemove "$(col_x "$2")" "$(row_y "$1")" keydown shift click 1 keyup shift
}
double_click_at() { xdotool mousemove "$(col_x "$2")" "$(row_y "$1")" click --repeat 2 --delay 60 1; }
