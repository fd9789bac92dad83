#!/usr/bin/env bash
# Copy from the running program reaches the X clipboard: open a file with
# mixed line ends and Chinese text, Ctrl+A and Ctrl+C in the text pane, and
# read the clipboard back from the X side with xclip. Wine hands CR LF to X
# as LF when it exports Unicode text; every other unit arrives unchanged.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

name="clip_$$.txt"
file="$WORK/$name"
printf 'first 中文 line\r\nsecond\tTAB\nthird\rlast 尾行 ☃' >"$file"
printf 'first 中文 line\nsecond\tTAB\nthird\rlast 尾行 ☃' >"$WORK/want.txt"

clip_seed "before"
start_app "$(winpath "$file")"
W="$(wait_window "$name" 60)"
wait_title "$W" "$(winpath "$file") - Tomeview超大文本浏览器-Orvane：$SITE" 30
copy_keys "$WORK/want.txt" ctrl+a ctrl+c
expect_clip_file "Ctrl+A Ctrl+C" "$WORK/want.txt"
click_close_box "$W"
wait_exit 20
log "the X clipboard holds the selected text"
