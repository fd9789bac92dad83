#!/usr/bin/env bash
# Hostile files on the command line: empty, only CR, NULs, random binary,
# UTF-16 with an odd last byte, a bare mark, a path longer than 260 units,
# a folder and a file that vanished. Each one that opens gets the finished
# caption; each one that cannot be opened leaves the start-up caption. Either
# way the program lives through Ctrl+End, Ctrl+A and Ctrl+C and closes with
# exit code 0.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/input_helpers.sh"

dir="$DATA/hostile"
rm -rf "$dir"
mkdir -p "$dir"
: >"$dir/empty.txt"
head -c 3000 /dev/zero | tr '\0' '\r' >"$dir/only_cr.txt"
{ printf 'ab\0cd\n'; head -c 5000 /dev/zero; printf '\nNUL 尾行'; } >"$dir/nuls.txt"
python3 - "$dir/random.bin" <<'PY'
import random, sys
rnd = random.Random(20261208)
with open(sys.argv[1], "wb") as f:
    f.write(b"R" + bytes(rnd.getrandbits(8) for _ in range(200000)))
PY
printf '\xff\xfea\x00\n\x00b\x00Z' >"$dir/odd_utf16.txt"
printf '\xef\xbb\xbf' >"$dir/bare_bom.txt"
long="$dir"
while [ ${#long} -lt 300 ]; do long="$long/很长的目录名称-aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"; done
mkdir -p "$long"
printf 'line one\r\nline two\r\n' >"$long/长路径文件.txt"
mkdir -p "$dir/folder.txt"
vanished="$dir/vanished.txt"
rm -f "$vanished"

# run_case FILE OPENS CLIP: OPENS is yes or no; CLIP is "changes" when
# Ctrl+A Ctrl+C must put the text on the clipboard, "any" when it may not.
run_case() {
    local file="$1" opens="$2" clip="$3" wfile W t
    wfile="$(winpath "$file")"
    clip_seed "clipboard before"
    start_app "$wfile"
    if [ "$opens" = yes ]; then
        W="$(wait_window 'Tomeview' 60)"
        wait_title "$W" "$wfile - Tomeview超大文本浏览器-Orvane：$SITE" 30
    else
        W="$(wait_window 'tomeview - ' 60)"
        # A small file that opens changes the caption well within this time.
        local i
        for i in $(seq 20); do
            t="$(title_of "$W")"
            [ "$t" = "$STARTUP_TITLE" ] || fail "$(basename "$file"): caption after a failed open is '$t'"
            sleep 0.1
        done
    fi
    window_geometry "$W"
    xdotool mousemove $((WX + 200)) $((WY + 60)) click 1
    activate "$W"
    local k
    for k in ctrl+End ctrl+a ctrl+c; do
        press "$k"
        sleep 0.2
        app_alive || fail "$(basename "$file"): the program ended after $k"
    done
    if [ "$clip" = changes ]; then
        copy_keys - ctrl+End ctrl+a ctrl+c
        clip_to_file "$E2E_TMP/copied" 10 "$(basename "$file"): Ctrl+A Ctrl+C"
    fi
    # Still answering: the caption is read back unchanged after the keys.
    t="$(title_of "$W")"
    if [ "$opens" = yes ]; then
        [ "$t" = "$wfile - Tomeview超大文本浏览器-Orvane：$SITE" ] || fail "$(basename "$file"): caption became '$t'"
    else
        [ "$t" = "$STARTUP_TITLE" ] || fail "$(basename "$file"): caption became '$t'"
    fi
    shot "$(basename "$file" | tr -c 'A-Za-z0-9_\n' _)" >/dev/null
    click_close_box "$W"
    wait_exit 20
    [ "$APP_RC" = 0 ] || fail "$(basename "$file"): exit code $APP_RC"
    log "$(basename "$file"): ok"
}

command -v xclip >/dev/null || fail "xclip missing"
run_case "$dir/empty.txt" yes any
run_case "$dir/only_cr.txt" yes any
run_case "$dir/nuls.txt" yes changes
run_case "$dir/random.bin" yes changes
run_case "$dir/odd_utf16.txt" yes changes
run_case "$dir/bare_bom.txt" yes changes
run_case "$long/长路径文件.txt" yes changes
run_case "$dir/folder.txt" no any
run_case "$vanished" no any
rm -rf "$dir"
log "ok (screenshots in $SHOTS)"
