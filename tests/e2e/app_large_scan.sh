#!/usr/bin/env bash
# Opening a file larger than 1000 MiB: the caption shows the percentages as the
# scan goes on, the first screen is drawn while it runs, and the view scrolls
# (Page Down, wheel) before it ends. Screenshots: during-1, during-2, done.
# TOMEVIEW_LARGE_MIB sets the file size (default 6000).
set -u
source "$(dirname "$0")/lib/app_common.sh"

mib="${TOMEVIEW_LARGE_MIB:-6000}"
[ "$mib" -gt 1000 ] || fail "TOMEVIEW_LARGE_MIB must be above 1000"
big="$DATA/app_large_${mib}m.txt"
make_large "$big" "$mib"
uncache "$big"
wbig="$(winpath "$big")"
prefix="Tomeview超大文本浏览器-Orvane：$SITE，正在打开文件：$wbig - "
finished="$wbig - Tomeview超大文本浏览器-Orvane：$SITE"

# Reads the caption; prints the percentage while indexing, "done" after.
percent_of() {
    local t="$1"
    if [ "$t" = "$finished" ]; then echo done; return; fi
    case "$t" in
    "$prefix"*%)
        local p="${t#"$prefix"}"
        p="${p%\%}"
        case "$p" in '' | *[!0-9]*) echo bad ;; *) echo "$p" ;; esac ;;
    *) echo other ;;
    esac
}

seen=()
note_percent() {
    local p="$1" n=${#seen[@]}
    if [ "$n" = 0 ] || [ "${seen[n - 1]}" != "$p" ]; then seen+=("$p"); fi
}

start_app "$wbig"
W="$(wait_window 'Tomeview' 60)"
start=$SECONDS
while :; do
    p="$(percent_of "$(title_of "$W")")"
    case "$p" in
    done) fail "the scan ended before it could be watched; raise TOMEVIEW_LARGE_MIB" ;;
    bad) fail "malformed progress caption: '$(title_of "$W")'" ;;
    other) ;;
    *) note_percent "$p"; [ "$p" -ge 2 ] && break ;;
    esac
    [ $((SECONDS - start)) -lt 120 ] || fail "no progress caption within 120 s"
    sleep 0.03
done

sleep 0.1
one="$(shot during-1)"
window_geometry "$W"
# Page Down twice and the wheel three steps down, into the text pane.
xdotool mousemove $((WX + 300)) $((WY + 200))
xdotool key Next Next
xdotool click 5 click 5 click 5
crop "$one" $((WX + 2)) $((WY + 45)) 50 300 "$SHOTS/tmp-gutter-1.png"
# Wait for the line numbers to move, for at most 10 s.
for _ in $(seq 50); do
    two="$(shot during-2)"
    crop "$two" $((WX + 2)) $((WY + 45)) 50 300 "$SHOTS/tmp-gutter-2.png"
    [ "$(pixel_diff "$SHOTS/tmp-gutter-1.png" "$SHOTS/tmp-gutter-2.png")" -gt 200 ] && break
    sleep 0.2
done
p="$(percent_of "$(title_of "$W")")"
case "$p" in
done | other | bad) fail "the scan was over before the scrolled screenshot (caption state $p); raise TOMEVIEW_LARGE_MIB" ;;
esac
note_percent "$p"

text_ink="$(ink "$one" $((WX + 60)) $((WY + 45)) 400 300)"
[ "$text_ink" -gt 3000 ] || fail "the first screen was not drawn during the scan (see $one)"
moved="$(pixel_diff "$SHOTS/tmp-gutter-1.png" "$SHOTS/tmp-gutter-2.png")"
[ "$moved" -gt 200 ] || fail "the line numbers did not change when scrolling during the scan (see $one, $two)"

while :; do
    p="$(percent_of "$(title_of "$W")")"
    case "$p" in
    done) break ;;
    bad) fail "malformed progress caption: '$(title_of "$W")'" ;;
    other) ;;
    *) note_percent "$p" ;;
    esac
    [ $((SECONDS - start)) -lt 300 ] || fail "the scan did not finish within 300 s"
    sleep 0.03
done
shot done >/dev/null

# The percentages rise and stay below 100 while indexing.
prev=-1
for p in "${seen[@]}"; do
    [ "$p" -gt "$prev" ] && [ "$p" -lt 100 ] || fail "percentages out of order: ${seen[*]}"
    prev=$p
done
[ ${#seen[@]} -ge 3 ] || fail "too few progress captions seen: ${seen[*]}"

click_close_box "$W"
wait_exit 30
log "ok: percentages seen ${seen[*]}; screenshots in $SHOTS"
