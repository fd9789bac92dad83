#!/usr/bin/env bash
# Opening files as a user does: Ctrl+O and the File menu's Open item, typing
# the path into the Open dialog's file-name box; cancelling the dialog; and
# dropping files from the X side (XDND, which Wine turns into WM_DROPFILES).
# Each open must show the file's title and draw its text: the same file
# opened by the dialog and by a drop gives the same pixels, another file
# other pixels, and Select All + Copy gives the file's text. A drop of two
# files opens the first; a dropped file that cannot be opened leaves the
# title and shows an empty view.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"
XDND="$(dirname "$0")/lib/xdnd_drop.py"

a="$DATA/journey_open_a.txt"
b="$DATA/journey_open_b.txt"
c="$DATA/journey_open_c.txt"
missing="$DATA/journey_open_missing.txt"
rm -f "$missing"
{
    for i in $(seq 1 60); do printf 'A文件 第%d行 alpha %d\r\n' "$i" $((i * 7)); done
    printf 'A end'
} >"$a"
for i in $(seq 1 45); do printf 'file B line %d 乙 %s\n' "$i" "$(printf '%*s' $((i % 9)) '' | tr ' ' '=')"; done >"$b"
printf 'file C, never opened\r\n' >"$c"
title_for() { printf '%s - Tomeview超大文本浏览器-Orvane：%s' "$(winpath "$1")" "$SITE"; }

start_app
W="$(wait_window 'tomeview - ' 60)"
wait_title "$W" "$STARTUP_TITLE" 30

# open_by_dialog PATH: the Open dialog is up; types PATH and presses Enter.
open_by_dialog() {
    open_dialog '^请选择一个文件$' 90 >/dev/null
    xdotool type --delay 30 "$(winpath "$1")"
    press Return
    wait_gone '^请选择一个文件$' 20
}

# 1. Ctrl+O (pressed again if a busy machine lost it).
key_for_dialog "$W" ctrl+o '^请选择一个文件$'
open_by_dialog "$a"
wait_title "$W" "$(title_for "$a")" 30
pane_geometry "$W"
settle "$WORK/a.miff"
keep "$WORK/a.miff" dialog-a
text_ink="$(ink "$WORK/a.miff" $((TX - PX)) 0 400 $((LH * 20)))"
[ "$text_ink" -gt 3000 ] || fail "no text drawn after the open by Ctrl+O ($text_ink dark pixels, see $SHOTS/dialog-a.png)"
[ "$(ink_rows_from "$WORK/a.miff" 0 $((PAGE - 1)))" = "$PAGE" ] || fail "rows without text after the open by Ctrl+O (see $SHOTS/dialog-a.png)"
clip_seed "before"
# Wine hands CR LF to X as LF.
tr -d '\r' <"$a" >"$WORK/a-lf.txt"
copy_keys "$WORK/a-lf.txt" ctrl+a ctrl+c
expect_clip_file "Select All and Copy after the open by Ctrl+O" "$WORK/a-lf.txt"
changed_view "$WORK/a.miff" "$WORK/a-all.miff"

# 2. Cancel leaves title, view and selection.
key_for_dialog "$W" ctrl+o '^请选择一个文件$'
press Escape
wait_gone '^请选择一个文件$' 20
[ "$(title_of "$W")" = "$(title_for "$a")" ] || fail "title after a cancelled Open dialog: '$(title_of "$W")'"
expect_view "$WORK/a-all.miff" cancel "the view after a cancelled Open dialog"

# 3. File menu, Open item (its mnemonic O).
activate "$W"
open_menu "$W" 29
keep "$WORK/menu.miff" file-menu
press o
open_by_dialog "$b"
wait_title "$W" "$(title_for "$b")" 30
changed_view "$WORK/a.miff" "$WORK/b.miff"
keep "$WORK/b.miff" menu-b
[ "$(ink_rows_from "$WORK/b.miff" 0 $((PAGE - 1)))" = "$PAGE" ] || fail "rows without text after the open from the menu (see $SHOTS/menu-b.png)"

# 4. Drops.
drop() {
    local rc
    python3 "$XDND" "$W" $((PX + PW / 2)) $((PY + PH / 2)) "$@" >"$WORK/xdnd.log" 2>&1
    rc=$?
    [ $rc = 0 ] || fail "the drop of $* failed: $(cat "$WORK/xdnd.log")"
}
drop "$a"
wait_title "$W" "$(title_for "$a")" 30
expect_view "$WORK/a.miff" drop-a "the view after dropping the file that Ctrl+O opened"
drop "$b" "$c"
wait_title "$W" "$(title_for "$b")" 30
expect_view "$WORK/b.miff" drop-bc "the view after dropping two files, the first the one opened from the menu"
drop "$missing"
# A failed open keeps the title; the view shows one empty line.
start=$SECONDS
while :; do
    grab_view "$WORK/missing.miff"
    [ "$(ink_rows_from "$WORK/missing.miff" 0 $((ROWS - 1)))" = 0 ] && break
    [ $((SECONDS - start)) -lt 20 ] || fail "text still shown after dropping a missing file (see $(keep "$WORK/missing.miff" drop-missing; echo "$SHOTS/drop-missing.png"))"
    sleep 0.2
done
keep "$WORK/missing.miff" drop-missing
[ "$(title_of "$W")" = "$(title_for "$b")" ] || fail "title after dropping a missing file: '$(title_of "$W")'"

click_close_box "$W"
wait_exit 20
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
log "ok (screenshots in $SHOTS)"
