#!/usr/bin/env bash
# Opening from the command line: the first argument is opened (the caption
# becomes "path - Tomeview超大文本浏览器-Orvane：site") and its text drawn; a
# further argument is ignored; a file that cannot be opened leaves the start-up
# caption and an empty view.
set -u
source "$(dirname "$0")/lib/app_common.sh"

sample="$DATA/app_sample_utf8.txt"
other="$DATA/app_other.txt"
make_sample "$sample"
printf 'other file\r\n' >"$other"
wsample="$(winpath "$sample")"

start_app "$wsample" "$(winpath "$other")"
W="$(wait_window 'Tomeview' 60)"
wait_title "$W" "$wsample - Tomeview超大文本浏览器-Orvane：$SITE" 30
window_geometry "$W"
# Text column right of the gutter, below the menu bar; drawn soon after the title.
start=$SECONDS
while :; do
    opened="$(shot opened)"
    text_ink="$(ink "$opened" $((WX + 60)) $((WY + 45)) 400 200)"
    [ "$text_ink" -gt 1500 ] || [ $((SECONDS - start)) -ge 20 ] && break
    sleep 0.2
done
[ "$text_ink" -gt 1500 ] || fail "no text drawn after the open ($text_ink dark pixels, see $opened)"
click_close_box "$W"
wait_exit 20

missing="$DATA/app_missing.txt"
rm -f "$missing"
start_app "$(winpath "$missing")"
W="$(wait_window 'tomeview - ' 60)"
sleep 2
t="$(title_of "$W")"
[ "$t" = "$STARTUP_TITLE" ] || fail "caption after a failed open is '$t'"
empty="$(shot missing)"
window_geometry "$W"
text_ink="$(ink "$empty" $((WX + 60)) $((WY + 45)) 400 200)"
[ "$text_ink" -lt 50 ] || fail "text drawn although nothing opened (see $empty)"
click_close_box "$W"
wait_exit 20
log "ok (screenshots in $SHOTS)"
