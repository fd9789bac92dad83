#!/usr/bin/env bash
# Start-up without a file: the caption is string 103, the File menu opens from
# the menu bar, Alt+/ shows the About box, Enter closes it, and the close box
# ends the program with exit code 0.
set -u
source "$(dirname "$0")/lib/app_common.sh"

start_app
W="$(wait_window 'tomeview - ' 60)"
wait_title "$W" "$STARTUP_TITLE" 10
sleep 1
before="$(shot startup)"

# The File menu, opened with the mouse on the menu bar.
xsend "$W" mousemove 29 32 click 1
sleep 1
menu="$(shot file-menu)"
crop "$before" 0 40 200 120 "$SHOTS/tmp-a.png"
crop "$menu" 0 40 200 120 "$SHOTS/tmp-b.png"
[ "$(pixel_diff "$SHOTS/tmp-a.png" "$SHOTS/tmp-b.png")" -gt 500 ] || fail "the File menu did not open (see $menu)"
xdotool key Escape
sleep 0.3
xdotool key Escape
sleep 0.5

# Alt+/ opens the About box whichever window of the program has the focus.
xdotool key alt+slash
A="$(wait_window '关于 Tomeview' 10)"
sleep 0.5
about="$(shot about)"
window_geometry "$A"
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
