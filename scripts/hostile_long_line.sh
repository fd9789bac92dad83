#!/usr/bin/env bash
# Part of scripts/hostile_large.sh (not part of the test run): tomeview.exe
# under Wine on the 3 GiB single line. Finds a marker 2.9 GiB in and sees it
# selected on screen (screenshot), counts a text that occurs every MiB and
# compares with grep, copies a found text that crosses the 64 MiB mark and
# compares with the file's bytes, and reports the peak memory.
#   scripts/hostile_long_line.sh FILE MARKER EVERY ACROSS ACROSS_OFFSET
# Needs DISPLAY and WINEPREFIX (hostile_large.sh provides them).
set -u
file="$1" marker="$2" every="$3" across="$4" across_at="$5"
source "$(dirname "$0")/../tests/e2e/lib/app_common.sh"
source "$(dirname "$0")/../tests/e2e/lib/dialog_helpers.sh"
source "$(dirname "$0")/../tests/e2e/lib/clipboard.sh"
wintext_build
FOUND="查找结果：1 处地方被查找到."
vm() { sed -n "s/^$2:[[:space:]]*//p" "/proc/$1/status" 2>/dev/null; }

# grep on a line of 3 GiB holds the line; the fill letter x (which the text
# counted does not hold) becomes a line end first.
log "grep count of '$every'"
want_count="$(tr x '\n' <"$file" | grep -o -- "$every" | wc -l)"
log "  grep finds $want_count"

wf="$(winpath "$file")"
start=$SECONDS
start_app "$wf"
wait_main "$wf - Tomeview超大文本浏览器-Orvane：$SITE" 900
pid="$(xdotool getwindowpid "$W" 2>/dev/null || echo "$APP_PID")"
log "open finished after $((SECONDS - start)) s; VmHWM $(vm "$pid" VmHWM)"

D="$(press_find_keys xsend "$W" key)" || fail "Ctrl+F showed no Find dialog"
cache_controls "$D"
window_geometry "$W"

# Find the marker 2.9 GiB in: found, selected and shown.
type_into_ctl "$D" 1013 "$marker" 4 30
t0=$SECONDS
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "$FOUND" 900
log "find '$marker': found after $((SECONDS - t0)) s; VmHWM $(vm "$pid" VmHWM)"
read -r dx dy <<<"$(wintext windows | awk -F'\t' -v h="$D" '$1 == h { print $4, $5 }')"
sleep 1
shotfile="$(shot find-marker)"
box="$(sel_box "$shotfile" $((WX + 40)) $((WY + 40)) $((dx - WX - 42)) $((dy - WY - 42)))"
log "  selection on screen: $box (screenshot $shotfile)"

# Count: the same number as grep.
type_into_ctl "$D" 1013 "$every" 4 30
t0=$SECONDS
click_ctl "$D" 1004
got="" s=$SECONDS
while [ $((SECONDS - s)) -lt 900 ]; do
    got="$(ctl "$D" 1023 9)"
    case "$got" in 计数：*" 处匹配.") break ;; esac
    sleep 0.5
done
n="${got#计数：}" n="${n% 处匹配.}"
log "count '$every': '$got' after $((SECONDS - t0)) s (grep: $want_count); VmHWM $(vm "$pid" VmHWM)"
[ "$n" = "$want_count" ] || fail "the count $n differs from grep's $want_count"

# Copy a found text that crosses the old 64 MiB bound.
type_into_ctl "$D" 1013 "$across" 4 30
t0=$SECONDS
click_ctl "$D" 1021
wait_ctl_text "$D" 1023 "$FOUND" 900
log "find '$across' (at byte $across_at): found after $((SECONDS - t0)) s"
clip_seed
click_menu_item "$W" "$MENU_X_EDIT"
clip_to_file "$E2E_TMP/copied" 60 "Edit > Copy"
dd if="$file" bs=1 skip="$across_at" count="${#across}" status=none >"$E2E_TMP/want"
cmp -s "$E2E_TMP/copied" "$E2E_TMP/want" || fail "the copy is '$(cat "$E2E_TMP/copied")', the file holds '$(cat "$E2E_TMP/want")'"
log "  copied text equals the file's bytes"
log "peak memory of the Wine process: VmHWM $(vm "$pid" VmHWM)"
