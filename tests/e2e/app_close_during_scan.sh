#!/usr/bin/env bash
# Closing the main window while a large file is being indexed: the scan runs
# to its end and then the program ends with exit code 0.
set -u
source "$(dirname "$0")/lib/app_common.sh"

mib="${TOMEVIEW_LARGE_MIB:-4000}"
big="$DATA/app_large_${mib}m.txt"
make_large "$big" "$mib"
uncache "$big"
wbig="$(winpath "$big")"
prefix="Tomeview超大文本浏览器-Orvane：$SITE，正在打开文件：$wbig - "

start_app "$wbig"
W="$(wait_window 'Tomeview' 60)"
start=$SECONDS
at=""
while [ -z "$at" ]; do
    t="$(title_of "$W")"
    case "$t" in
    "$prefix"*%)
        p="${t#"$prefix"}"
        p="${p%\%}"
        [ "$p" -ge 3 ] && at=$p ;;
    *"- Tomeview"*) fail "the scan ended before the window could be closed; raise TOMEVIEW_LARGE_MIB" ;;
    esac
    [ $((SECONDS - start)) -lt 120 ] || fail "no progress caption within 120 s"
    sleep 0.03
done

click_close_box "$W"
# The scan goes on after the close: the caption keeps rising.
later=""
while app_alive; do
    t="$(title_of "$W")"
    case "$t" in
    "$prefix"*%)
        p="${t#"$prefix"}"
        p="${p%\%}"
        [ "$p" -gt "$at" ] && later=$p ;;
    esac
    [ $((SECONDS - start)) -lt 300 ] || fail "the program did not end within 300 s of the close"
    sleep 0.05
done
wait_exit 5
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
[ -n "$later" ] || fail "closed at $at %, but no later progress was seen: the scan stopped or the close was not deferred"
log "ok: closed at $at %, scan continued to at least $later %, program ended with 0"
