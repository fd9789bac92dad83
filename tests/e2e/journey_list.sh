#!/usr/bin/env bash
# Matching lines as a user lists them: Ctrl+F, a regular expression ticked,
# the dialog's 列出匹配行; the list shows below the text; a double-click on a
# listed line selects its match in the main pane (Edit > Copy reads it back);
# File > 保存匹配行 writes exactly what grep prints, and with 反向(V) what
# grep -v prints.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
source "$(dirname "$0")/lib/input_helpers.sh"
for tool in xdotool xclip convert grep cmp python3; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

out="$DATA/journey_list"
rm -rf "$out"
mkdir -p "$out"
doc="$out/app.log"
python3 - "$doc" <<'PY' || fail "could not write the log"
import sys
with open(sys.argv[1], "w", encoding="utf-8", newline="") as f:
    for i in range(400):
        if i % 7 == 3:
            f.write("2024-05-01 12:%02d:%02d ERROR %d 磁盘已满\n" % (i // 60, i % 60, 1000 + i))
        else:
            f.write("2024-05-01 12:%02d:%02d INFO worker %d handled\r\n" % (i // 60, i % 60, i))
PY
PATTERN='ERROR [0-9]+'

TITLE="$(winpath "$doc") - Tomeview超大文本浏览器-Orvane：$SITE"
start_app "$(winpath "$doc")"
wait_main "$TITLE" 90
pane_geometry "$W"
D="$(press_find_keys xsend "$W" key)" || fail "Ctrl+F showed no Find dialog"
cache_controls "$D"
type_into_ctl "$D" 1013 "$PATTERN" 4 30
set_check "$D" 1030 1
click_ctl "$D" 1031
wait_ctl_text "$D" 1023 "匹配行：$(grep -cE "$PATTERN" "$doc") 行." 60

# The list is the main window's second text pane, below the first.
read -r LX LY LW LHT <<<"$(wintext controls "$TITLE" | awk -F'\t' '$3 == "Text2" && ++n == 2 { print $5, $6, $7, $8 }')"
[ -n "${LX:-}" ] && [ "$LHT" -gt $((2 * LH)) ] || fail "no list pane below the text (see $(shot no-list))"
[ "$LY" -gt "$PY" ] || fail "the list pane is not below the main pane"
# Its rows show ink once painted.
start=$SECONDS
until [ "$(dark "$(shot listed)" $((LX + 60)) "$LY" 200 $((3 * LH)))" -gt 100 ]; do
    [ $((SECONDS - start)) -lt 20 ] || fail "the list shows no rows (see $SHOTS/listed.png)"
    sleep 0.3
done

# The dialog goes (Esc); a double-click on the third listed row selects that
# line's match in the main pane, which Edit > Copy reads back.
xdotool key Escape
wait_no_hwnd 查找 10
third="$(grep -oE "$PATTERN" "$doc" | sed -n 3p)"
xdotool mousemove $((LX + 70)) $((LY + 2 * LH + LH / 2)) click --repeat 2 --delay 60 1
clip_seed
clip_copy_with "$E2E_TMP/clip-jump" click_menu_item "$W" "$MENU_X_EDIT"
[ "$(cat "$E2E_TMP/clip-jump")" = "$third" ] ||
    fail "after the double-click the main pane's selection copies as '$(cat "$E2E_TMP/clip-jump")', expected '$third'"

# save_listed NAME WANT: File > 保存匹配行 into NAME; the file must equal WANT.
save_listed() {
    local s m
    click_menu_item "$W" "$MENU_X_FILE" i i i i
    s="$(wait_hwnd 保存匹配行到 20 '#32770')"
    cache_controls "$s"
    type_into_ctl "$s" 1148:Edit "$(winpath "$out/$1")" 3 15
    click_ctl "$s" 1:Button
    m="$(wait_hwnd 保存匹配行 60 '#32770')"
    wait_ctl_text "$m" 65535 "保存成功！" 10
    click_ctl "$m" 1:Button
    wait_no_hwnd 保存匹配行 10
    cmp -s "$out/$1" "$2" || fail "$1 differs from what grep prints ($(stat -c %s "$out/$1") bytes, want $(stat -c %s "$2"))"
}
grep -E "$PATTERN" "$doc" >"$out/want-matching"
save_listed matching.log "$out/want-matching"

# The inverse: the lines without a match, each with its own line end.
D="$(press_find_keys xsend "$W" key)" || fail "Ctrl+F did not bring the Find dialog back"
cache_controls "$D"
# Ctrl+F took the selected match as the search text: the pattern again.
wait_ctl_text "$D" 1013 "$third" 10
type_into_ctl "$D" 1013 "$PATTERN" 4 30
set_check "$D" 1032 1
click_ctl "$D" 1031
wait_ctl_text "$D" 1023 "匹配行：$(grep -cvE "$PATTERN" "$doc") 行." 60
xdotool key Escape
wait_no_hwnd 查找 10
grep -vE "$PATTERN" "$doc" >"$out/want-other"
save_listed other.log "$out/want-other"
ls "$out" | grep -q '\.tmp$' && fail "a temporary file was left: $(ls "$out")"
log "listed, jumped and saved both ways"
