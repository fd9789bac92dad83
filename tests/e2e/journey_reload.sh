#!/usr/bin/env bash
# A log that grows while it is read: lines are appended from outside (the
# first of them completes a CR LF whose CR ended the file), F5 takes them in,
# Ctrl+End goes to the new end, and the last line is selected with the mouse
# and copied.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

doc="$DATA/journey_reload.log"
{
    printf '日志的第一行\r\n'  # UTF-8 by its bytes
    for i in $(seq 2 199); do printf 'line %d of the log\r\n' "$i"; done
} >"$doc"
printf 'line 200 of the log\r' >>"$doc"
wdoc="$(winpath "$doc")"

start_app "$wdoc"
W="$(wait_window 'journey_reload' 60)"
wait_title "$W" "$wdoc - Tomeview超大文本浏览器-Orvane：$SITE" 30
pane_geometry "$W"
activate "$W"
clip_seed "seed"

# The writer appends while the program has the file open.
{
    printf '\n'
    for i in $(seq 1 9); do printf 'appended %d\r\n' "$i"; done
    printf '新的最后一行 tail 210'
} >>"$doc"

activate "$W"
press F5 ctrl+End
# The last line (210, counted from 0) ends on the last complete row.
click_at $((PAGE - 1)) 0
shift_click_at $((PAGE - 1)) 60
shot after-reload >/dev/null
press ctrl+c
expect_clip "the last line after F5 and Ctrl+End" '新的最后一行 tail 210'

# Line 199, which the CR at the old end and the LF after it end together.
click_at $((PAGE - 11)) 0
shift_click_at $((PAGE - 10)) 0
press ctrl+c
expect_clip "the line whose CR LF was split by the old end" 'line 200 of the log\n'

click_close_box "$W"
wait_exit 20
log "ok (screenshots in $SHOTS)"
