#!/usr/bin/env bash
# Viewing a file in each encoding through the 编码 menu: files written in
# GBK, UTF-8, UTF-16 LE and UTF-16 BE are opened, their check marks are read
# from the open menu, the whole text is copied (Edit > Select all, Edit >
# Copy) and compared byte for byte with the text decoded here; then the
# View-as items switch the decoding and the copy must follow it.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
for tool in xdotool xclip convert python3; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

# The 编码 pop-up: four View-as items, a separator, four Convert-to items, a
# separator, Store with BOM.
MENU_SLOTS="i i i i s i i i i s i"
VIEW_SLOTS=("" "i" "i i" "i i i")

# Files and the texts their copies must give. Wine hands CR LF to X as LF.
# The UTF-8 text is chosen so that its bytes are valid GBK too, and the
# UTF-16 text so that its units stay valid with their bytes swapped.
python3 - "$DATA" <<'PY' || fail "could not write the sample files"
import sys, os
d = sys.argv[1]
def put(name, data):
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)
def clip(text):
    return text.replace("\r\n", "\n").encode("utf-8")
gbk = "GBK 文本：第一行\r\n第二行 second\r\nlast 末行"
put("enc_gbk.txt", gbk.encode("gbk"))
put("enc_gbk.want", clip(gbk))
utf8 = "文件编码 utf8\r\n日志 line\r\n数据"
raw = utf8.encode("utf-8")
put("enc_utf8.txt", raw)
put("enc_utf8.want", clip(utf8))
put("enc_utf8_as_ansi.want", clip(raw.decode("gbk")))   # strict: every pair is GBK
le = "\ufeffUnicode 小端\r\nline 2 第二\r\nend"
raw = le.encode("utf-16-le")
put("enc_le.txt", raw)
put("enc_le.want", clip(le))
put("enc_le_as_be.want", clip(raw.decode("utf-16-be")))  # strict: no lone surrogates
be = "\ufeffUnicode 大端\r\nline 2 第二\r\nend"
put("enc_be.txt", be.encode("utf-16-be"))
put("enc_be.want", clip(be))
PY

copies=0
# Edit > Select all, then Edit > Copy.
select_all_and_copy() {
    click_menu_item "$W" "$MENU_X_EDIT" i s i i i s i i s
    click_menu_item "$W" "$MENU_X_EDIT"
}
# copy_all_is WANTFILE WHAT: Select all and Copy from the Edit menu; the
# clipboard must hold exactly the bytes of WANTFILE.
copy_all_is() {
    copies=$((copies + 1))
    local got="$SHOTS/clip-$copies.txt"
    clip_seed
    clip_copy_with "$got" select_all_and_copy
    cmp -s "$got" "$1" || fail "$2: the copy holds '$(head -c 200 "$got")', expected '$(head -c 200 "$1")'"
}

# marks_are "INDEXES" WHAT: the check marks of the open 编码 pop-up.
marks_are() {
    local img got
    open_menu "$W" "$MENU_X_ENCODING"
    img="$(shot_menu "menu-$copies-$RANDOM")"
    got="$(checked_items "$img")"
    xdotool key Escape
    [ "$got" = "$1" ] || fail "$2: checked items '$got', expected '$1' (see $img)"
    xdotool key Escape
}

# view_as N: clicks View-as item N (0 ANSI, 1 UTF-8, 2 Unicode, 3 big-endian).
view_as() { click_menu_item "$W" "$MENU_X_ENCODING" ${VIEW_SLOTS[$1]}; }

# open_file NAME: starts the program on a sample file and waits for its title.
open_file() {
    local p; p="$(winpath "$DATA/$1")"
    start_app "$p"
    wait_main "$p - Tomeview超大文本浏览器-Orvane：$SITE" 90
}

close_app() {
    click_close_box "$W"
    wait_exit 20
    [ "$APP_RC" = 0 ] || fail "exit code $APP_RC"
}

# GBK: detected as ANSI; both ANSI items checked, no BOM mark.
open_file enc_gbk.txt
marks_are "0 5" "GBK file"
copy_all_is "$DATA/enc_gbk.want" "GBK file as ANSI"
close_app

# UTF-8 without a mark; viewed as ANSI its bytes read as GBK, and back.
open_file enc_utf8.txt
marks_are "1 6" "UTF-8 file"
copy_all_is "$DATA/enc_utf8.want" "UTF-8 file"
view_as 0
marks_are "0 6" "UTF-8 file viewed as ANSI"
copy_all_is "$DATA/enc_utf8_as_ansi.want" "UTF-8 file viewed as ANSI"
view_as 1
marks_are "1 6" "UTF-8 file viewed as UTF-8 again"
copy_all_is "$DATA/enc_utf8.want" "UTF-8 file viewed as UTF-8 again"
close_app

# UTF-16 LE with its mark (which stays in line 1); viewed as big-endian every
# unit is read with its bytes swapped. Viewing it as ANSI re-opens the file.
open_file enc_le.txt
marks_are "2 7 10" "UTF-16 LE file"
copy_all_is "$DATA/enc_le.want" "UTF-16 LE file"
view_as 3
marks_are "3 7 10" "UTF-16 LE file viewed as big-endian"
copy_all_is "$DATA/enc_le_as_be.want" "UTF-16 LE file viewed as big-endian"
view_as 2
copy_all_is "$DATA/enc_le.want" "UTF-16 LE file viewed as Unicode again"
before="$(shot le-before-ansi)"
view_as 0
wait_title "$W" "$(winpath "$DATA/enc_le.txt") - Tomeview超大文本浏览器-Orvane：$SITE" 30
# The re-open sets new Save As defaults (ANSI, no mark), and the marks show them.
marks_are "0 5" "UTF-16 LE file viewed as ANSI"
after="$(shot le-as-ansi)"
window_geometry "$W"
crop "$before" $((WX + 50)) $((WY + 42)) 400 60 "$SHOTS/tmp-before.png"
crop "$after" $((WX + 50)) $((WY + 42)) 400 60 "$SHOTS/tmp-after.png"
[ "$(pixel_diff "$SHOTS/tmp-before.png" "$SHOTS/tmp-after.png")" -gt 200 ] ||
    fail "the text did not change when viewed as ANSI (see $after)"
close_app

# UTF-16 BE with its mark.
open_file enc_be.txt
marks_are "3 8 10" "UTF-16 BE file"
copy_all_is "$DATA/enc_be.want" "UTF-16 BE file"
close_app
log "ok ($copies copies compared)"
