#!/usr/bin/env bash
# Start-up without a file: the caption is string 103, the File menu opens from
# the menu bar, Alt+/ shows the About box, Enter closes it, and the close box
# ends the program with exit code 0.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"

start_app
W="$(wait_window 'tomeview - ' 60)"
wait_title "$W" "$STARTUP_TITLE" 10
shot startup >/dev/null

# The File menu, opened with the mouse on the menu bar; Escape twice leaves it.
open_menu "$W" "$MENU_X_FILE"
cp "$MENU_SHOT" "$SHOTS/file-menu.miff"
xdotool key Escape
menu_wait_closed Escape
xdotool key Escape

# Alt+/ opens the About box whichever window of the program has the focus
# (a key that comes while the menu bar still has it is tried again).
A=""
for _ in 1 2 3; do
    xdotool key alt+slash
    start=$SECONDS
    while [ -z "$A" ] && [ $((SECONDS - start)) -lt 5 ]; do
        A="$(xwin_find "$APP_PID" '关于 Tomeview')" || sleep 0.1
    done
    [ -n "$A" ] && break
done
[ -n "$A" ] || fail "Alt+/ did not show the About box (see $(shot no-about))"
window_geometry "$A"
start=$SECONDS
while :; do
    about="$(shot about)"
    [ "$(ink "$about" "$WX" "$WY" "$WW" "$WH")" -gt 2000 ] && break
    [ $((SECONDS - start)) -lt 10 ] || break
    sleep 0.2
done
ax=$WX ay=$WY aw=$WW ah=$WH
window_geometry "$W"
# Centred over the main window (a few pixels of frame rounding allowed).
cx=$((WX + (WW - aw) / 2)) cy=$((WY + (WH - ah) / 2))
[ $((ax - cx)) -le 4 ] && [ $((cx - ax)) -le 4 ] && [ $((ay - cy)) -le 4 ] && [ $((cy - ay)) -le 4 ] ||
    fail "About box at $ax,$ay, expected about $cx,$cy"
[ "$(ink "$about" "$ax" "$ay" "$aw" "$ah")" -gt 2000 ] || fail "the About box looks empty (see $about)"
xdotool key Return
wait_gone '关于 Tomeview' 10

click_close_box "$W"
wait_exit 20
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
log "ok (screenshots in $SHOTS)"
