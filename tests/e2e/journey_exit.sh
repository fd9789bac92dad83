#!/usr/bin/env bash
# Leaving the program: File > 退出 with the mouse while a file is open and the
# Find dialog is shown, and Alt+F then X from the keyboard without a file.
# Each time the process must end by itself with exit code 0 and leave no
# window behind (no error or crash dialog).
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
command -v xdotool >/dev/null || fail "xdotool missing"
wintext_build
rm -f "$SHOTS"/*.png

# no_windows_left WHAT: no top-level window is shown any more.
no_windows_left() {
    local left
    left="$(wintext windows | cut -f3,8)"
    [ -z "$left" ] || fail "$1: windows left after the exit: $left (see $(shot "left-$RANDOM"))"
}

doc="$DATA/journey_exit.txt"
printf 'line one\r\nline two\r\n' >"$doc"

# File > 退出 (the item after Open, Reload, Follow, Save As, Save matching lines, a separator, Print, a separator).
start_app "$(winpath "$doc")"
wait_main "$(winpath "$doc") - Tomeview超大文本浏览器-Orvane：$SITE" 90
press_find_keys xsend "$W" key >/dev/null || fail "Ctrl+F showed no Find dialog"
click_menu_item "$W" "$MENU_X_FILE" i i i i i s i s
wait_exit 30
[ "$APP_RC" = 0 ] || fail "File > 退出: exit code $APP_RC"
no_windows_left "File > 退出"

# Alt+F opens the File menu, X picks 退出; no file is open.
start_app
wait_main "$STARTUP_TITLE" 90
opened=0
for _ in 1 2 3 4 5; do
    xsend "$W" key alt+f
    start=$SECONDS
    while [ $((SECONDS - start)) -lt 2 ]; do
        if [ -n "$(wintext windows | awk -F'\t' '$3 == "#32768"')" ]; then opened=1; break 2; fi
        sleep 0.1
    done
done
[ $opened = 1 ] || fail "Alt+F did not open the File menu (see $(shot no-menu))"
shot file-menu >/dev/null
for _ in 1 2 3; do
    xsend "$W" key x
    start=$SECONDS
    while [ $((SECONDS - start)) -lt 3 ]; do
        app_alive || break 2
        sleep 0.1
    done
done
wait_exit 30
[ "$APP_RC" = 0 ] || fail "Alt+F, X: exit code $APP_RC"
no_windows_left "Alt+F, X"
log ok
