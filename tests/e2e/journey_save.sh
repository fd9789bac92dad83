#!/usr/bin/env bash
# Convert and save as a user does it: pick the target encoding and the BOM
# option in the 编码 menu, File > Save As, type the path into the Save
# dialog, confirm the report, and compare the written file byte for byte with
# the text converted here. Also: the overwrite prompt (No keeps the old file,
# Yes replaces it) and a cancelled dialog that writes nothing.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
for tool in xdotool convert python3 cmp; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

out="$DATA/journey_save"
rm -rf "$out"
mkdir -p "$out"
# A GBK log of 250 lines (three blocks of the line index), and the same text
# in every target encoding.
python3 - "$out" <<'PY' || fail "could not write the sample files"
import sys, os
d = sys.argv[1]
text = "".join("第%d行 line %d：保存测试 ok\r\n" % (i, i) for i in range(1, 251)) + "末行 end"
def put(name, data):
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)
put("source.txt", text.encode("gbk"))
put("want_utf8", text.encode("utf-8"))
put("want_utf8bom", b"\xef\xbb\xbf" + text.encode("utf-8"))
put("want_le_bom", b"\xff\xfe" + text.encode("utf-16-le"))
put("want_be", text.encode("utf-16-be"))
PY
src="$out/source.txt"

start_app "$(winpath "$src")"
wait_main "$(winpath "$src") - Tomeview超大文本浏览器-Orvane：$SITE" 90

# Items of the 编码 pop-up by the slots above them.
convert_to() {
    local slots=(i i i i s)
    case "$1" in
    ansi) ;; utf8) slots+=(i) ;; le) slots+=(i i) ;; be) slots+=(i i i) ;;
    esac
    click_menu_item "$W" "$MENU_X_ENCODING" "${slots[@]}"
}
toggle_bom() { click_menu_item "$W" "$MENU_X_ENCODING" i i i i s i i i i s; }

# other_dialog TITLE NOT: a dialog titled TITLE other than the window NOT.
other_dialog() {
    local h start=$SECONDS
    while [ $((SECONDS - start)) -lt "$3" ]; do
        h="$(wintext windows | WT_TITLE="$1" awk -F'\t' -v not="$2" \
            '$3 == "#32770" && $8 == ENVIRON["WT_TITLE"] && $1 != not { print $1; exit }')"
        [ -n "$h" ] && { printf '%s\n' "$h"; return 0; }
        sleep 0.2
    done
    return 1
}

# open_save_dialog: File > Save As (after Open, Reload and Follow); sets S to the Save dialog and checks the
# proposed name (the open file's name cut at its dot).
open_save_dialog() {
    click_menu_item "$W" "$MENU_X_FILE" i i i
    S="$(wait_hwnd 保存到 20 '#32770')"
    wait_ctl_text "$S" 1148:Edit source 10
    cache_controls "$S"
}

# type_target PATH: types PATH into the dialog's name field.
type_target() {
    type_into_ctl "$S" 1148:Edit "$(winpath "$1")" 3 15
}

# confirm_report TEXT: the report box "文件另存" shows TEXT; OK closes it.
confirm_report() {
    local m
    m="$(wait_hwnd 文件另存 60 '#32770')"
    wait_ctl_text "$m" 65535 "$1" 10
    click_ctl "$m" 1:Button
    wait_no_hwnd 文件另存 10
    wait_no_hwnd 保存到 10
}

# save_to PATH: the whole Save As journey onto a new name.
save_to() {
    open_save_dialog
    type_target "$1"
    click_ctl "$S" 1:Button
    confirm_report "保存成功！"
}

same_bytes() { cmp -s "$1" "$2" || fail "$3: $1 differs from $2 ($(stat -c %s "$1") bytes, want $(stat -c %s "$2"))"; }

# Nothing changed: a plain copy of the GBK bytes.
save_to "$out/copy.txt"
same_bytes "$out/copy.txt" "$src" "plain copy"

# UTF-8 without and with a mark.
convert_to utf8
save_to "$out/utf8.txt"
same_bytes "$out/utf8.txt" "$out/want_utf8" "UTF-8 without a mark"
toggle_bom
save_to "$out/utf8bom.txt"
same_bytes "$out/utf8bom.txt" "$out/want_utf8bom" "UTF-8 with a mark"

# UTF-16 LE with the mark still on; UTF-16 BE with it turned off.
convert_to le
save_to "$out/le.txt"
same_bytes "$out/le.txt" "$out/want_le_bom" "UTF-16 LE with a mark"
convert_to be
toggle_bom
save_to "$out/be.txt"
same_bytes "$out/be.txt" "$out/want_be" "UTF-16 BE without a mark"

# Onto an existing file: the dialog asks; No keeps the file and the dialog,
# Yes replaces it with the big-endian text.
open_save_dialog
type_target "$out/utf8.txt"
click_ctl "$S" 1:Button
P="$(other_dialog 保存到 "$S" 20)" || fail "no overwrite prompt (see $(shot no-prompt))"
prompt="$(msgbox_text "$P")"
# (Wine's words: the file exists already, replace it?)
case "$prompt" in *存在*) ;; *) fail "the prompt does not say the file exists: '$prompt'" ;; esac
[ -n "$(ctl "$P" 6:Button 9)" ] && [ -n "$(ctl "$P" 7:Button 9)" ] || fail "the prompt has no Yes and No buttons"
shot overwrite-prompt >/dev/null
click_ctl "$P" 7:Button
start=$SECONDS
while [ -n "$(other_dialog 保存到 "$S" 1)" ]; do
    [ $((SECONDS - start)) -lt 10 ] || fail "the prompt stayed after No"
done
[ "$(hwnd_of 保存到)" = "$S" ] || fail "the Save dialog closed after No"
[ -z "$(hwnd_of 文件另存)" ] || fail "a report after No"
same_bytes "$out/utf8.txt" "$out/want_utf8" "after No"
click_ctl "$S" 1:Button
P="$(other_dialog 保存到 "$S" 20)" || fail "no overwrite prompt the second time"
click_ctl "$P" 6:Button
confirm_report "保存成功！"
same_bytes "$out/utf8.txt" "$out/want_be" "replaced after Yes"

# Cancel writes nothing and reports nothing.
open_save_dialog
type_target "$out/cancelled.txt"
click_ctl "$S" 2:Button
wait_no_hwnd 保存到 10
[ -z "$(hwnd_of 文件另存)" ] || fail "a report after Cancel"
[ ! -e "$out/cancelled.txt" ] || fail "Cancel wrote a file"
ls "$out" | grep -q '\.tmp$' && fail "a temporary file was left: $(ls "$out")"

# The open file itself is unchanged.
cmp -s "$src" <(python3 -c 'import sys; sys.stdout.buffer.write("".join("第%d行 line %d：保存测试 ok\r\n" % (i, i) for i in range(1, 251)).encode("gbk") + "末行 end".encode("gbk"))') ||
    fail "the source file changed"

click_close_box "$W"
wait_exit 20
[ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
log ok
