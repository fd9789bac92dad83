#!/usr/bin/env bash
# A log followed while a Windows program writes it: Ctrl+T turns following
# on; a writer that holds the log open for appending with the usual sharing
# flags (tests/e2e/lib/log_writer_win.cpp) appends lines and then rotates the
# log (renames it to LOG.1 while holding it, creates a new LOG). Neither its
# writes nor its rotation may fail; without a key press the view shows the
# appended lines at its bottom row, then the new file; a log deleted is said
# in the title until it comes back.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
source "$(dirname "$0")/lib/input_helpers.sh"
for tool in xdotool xclip convert; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
WRITER="$TOMEVIEW_BUILD/e2e-tools/log_writer.exe"
x86_64-w64-mingw32-g++ -std=c++17 -O1 -municode -static -o "$WRITER" \
    "$TOMEVIEW_SOURCE/tests/e2e/lib/log_writer_win.cpp" || fail "could not build the log writer"
rm -f "$SHOTS"/*.png

out="$DATA/journey_follow"
rm -rf "$out"
mkdir -p "$out"
doc="$out/service.log"
for i in $(seq 1 40); do printf 'line %d\r\n' "$i"; done >"$doc"
TITLE="$(winpath "$doc") - Tomeview超大文本浏览器-Orvane：$SITE"
start_app "$(winpath "$doc")"
wait_main "$TITLE" 90
pane_geometry "$W"
activate "$W"
# The view shows the end, so it follows it.
press ctrl+End

# Ctrl+T: the File menu's 跟踪文件末尾 (its third item) shows a check mark.
# A key lost on a busy machine is pressed again.
MENU_SLOTS="i i i i i s i s i"
for try in 1 2 3; do
    activate "$W"
    press ctrl+t
    open_menu "$W" "$MENU_X_FILE"
    img="$(shot_menu "file-menu-$try")"
    marks="$(checked_items "$img")"
    xdotool key Escape
    menu_wait_closed "Escape"
    [ "$marks" = 2 ] && break
    [ -z "$marks" ] || fail "the File menu shows marks '$marks' (see $img)"
done
[ "$marks" = 2 ] || fail "Ctrl+T did not turn following on (see $img)"

# last_row_is TEXT WHAT: the last complete row above the empty last line
# shows TEXT (selected with the mouse and copied), within 20 s.
last_row_is() {
    local start=$SECONDS
    printf '%s' "$1" >"$E2E_TMP/row-want"
    while [ $((SECONDS - start)) -lt 20 ]; do
        clip_seed
        click_at $((PAGE - 2)) 0
        shift_click_at $((PAGE - 2)) 30
        press ctrl+c
        clip_changed "$E2E_TMP/row-got" 3 && cmp -s "$E2E_TMP/row-want" "$E2E_TMP/row-got" && return 0
        sleep 0.5
    done
    fail "$2: the row above the end shows '$(cat "$E2E_TMP/row-got" 2>/dev/null)', expected '$1' (see $(shot "$2"))"
}

# The writer appends w1..w59, then waits for the request to rotate; w60..w120
# go to the new log.
"$WINE" "$WRITER" "$(winpath "$doc")" 120 20 60 >"$out/writer.out" 2>/dev/null </dev/null &
writer=$!
start=$SECONDS
until grep -q '^w59' "$doc" 2>/dev/null; do
    kill -0 "$writer" 2>/dev/null || fail "the writer stopped: $(cat "$out/writer.out")"
    [ $((SECONDS - start)) -lt 60 ] || fail "the writer did not write 59 lines"
    sleep 0.2
done
last_row_is w59 "appended lines"

# The rotation, while the program holds the log open.
touch "$out/service.log.go"
wait "$writer"
rc=$?
[ $rc = 0 ] || fail "the writer failed (exit $rc): $(cat "$out/writer.out")"
grep -q '^rotated before w60' "$out/writer.out" || fail "no rotation: $(cat "$out/writer.out")"
[ "$(head -c 3 "$out/service.log.1")" = "lin" ] && [ "$(head -c 3 "$doc")" = "w60" ] ||
    fail "the rotation left other files than expected"
last_row_is w120 "the new log after the rotation"

# Deleted: the title says so, the view stays; back: read from its start.
rm -f "$doc"
wait_title "$W" "$(winpath "$doc")（文件已不存在） - Tomeview超大文本浏览器-Orvane：$SITE" 20
printf 'back %d\r\n' $(seq 1 40) >"$doc"
wait_title "$W" "$TITLE" 20
last_row_is "back 40" "the log come back"
click_close_box "$W"
wait_exit 20
log "followed the appends, the rotation and the deletion without a key press"
