#!/usr/bin/env bash
# The release as a Windows user gets it (scripts/package.sh --quick, cached),
# in a fresh Wine prefix of its own:
# - the zip, unpacked into a folder whose name has a space and Chinese, runs
#   and opens a file from its command line, and writes no file and no key;
# - the installer, silent, for all users and then for the current user:
#   program, usage text and shortcut in place, version resource 1.0.0.0, the
#   uninstall entry, "Open with" for .txt .log .csv with the default program
#   untouched, and the registered open command opens a file; the registered
#   silent uninstall leaves no file and no key behind.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"

root="$(dirname "$TOMEVIEW_BUILD")"
TOMEVIEW_BUILD_ROOT="$root" bash "$TOMEVIEW_SOURCE/scripts/package.sh" --quick >"$DATA/package.log" 2>&1 ||
    { tail -20 "$DATA/package.log" >&2; fail "scripts/package.sh failed (see $DATA/package.log)"; }
grep -q 'byte-identical\|up to date' "$DATA/package.log" || fail "package.sh did not check the build"
dist="$TOMEVIEW_SOURCE/dist"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/release/CMakeCache.txt")"
short="${version%.*.*}"
zip="$dist/tomeview-$short-win64.zip"
setup="$dist/tomeview-$short-setup.exe"
[ "$version" = 1.0.0.0 ] || fail "project version is '$version'"
[ -f "$zip" ] && [ -f "$setup" ] || fail "no $zip or $setup"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match dist/"

wintext_build
export WINEPREFIX="$TOMEVIEW_BUILD/e2e-release-prefix"
rm -rf "$WINEPREFIX"
trap 'e2e_cleanup; "$WINESERVER" -k >/dev/null 2>&1' EXIT
# Created like every prefix of the project (Wine draws the window frames).
env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1 || fail "could not create $WINEPREFIX"
"$WINESERVER" -w
env -u DISPLAY "$WINE" regedit "$(winpath "$TOMEVIEW_SOURCE/scripts/wine-prefix.reg")" >/dev/null 2>&1 ||
    fail "could not apply scripts/wine-prefix.reg"
C="$WINEPREFIX/drive_c"

# The registry as sorted key and value lines, without Wine's time stamps,
# once every process of the prefix has ended and the server has saved it.
registry() {
    "$WINESERVER" -w
    python3 - "$WINEPREFIX" <<'PY'
import re, sys
for hive in ("system.reg", "user.reg"):
    key, out = None, []
    for line in open(f"{sys.argv[1]}/{hive}", encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("["):
            key = hive + re.sub(r"\] \d+$", "]", line)
            out.append(key)
        elif key and line and not line.startswith("#"):
            out.append(key + " " + line)
    # HKLM\System is Wine's record of the display and printers, rewritten by
    # every start; neither the program nor its installer writes there.
    volatile = re.compile(r"^system\.reg\[System\\|Volatile Environment\]")
    print("\n".join(sorted(l for l in out if not volatile.search(l))))
PY
}
no_traces() {  # LABEL: nothing of the program left in files or registry
    local left
    "$WINESERVER" -w
    left="$(cd "$C" && find . -iname '*tomeview*' | head -5)"
    [ -z "$left" ] || fail "$1: files left: $left"
    registry >"$DATA/reg-$1.txt"
    if ! diff -u "$DATA/reg-clean.txt" "$DATA/reg-$1.txt" >"$DATA/reg-$1.diff"; then
        head -20 "$DATA/reg-$1.diff" >&2
        fail "$1: the registry differs from the fresh prefix (see $DATA/reg-$1.diff)"
    fi
}
sample="$DATA/release_sample.log"
make_sample "$sample"
wsample="$(winpath "$sample")"
finished="$wsample - Tomeview超大文本浏览器-Orvane：$SITE"
open_and_close() {  # runs $TOMEVIEW_EXE on the sample, waits for the finished title, closes it
    start_app "$wsample"
    wait_main "$finished" 60
    click_close_box "$W"
    wait_exit 20
}
registry >"$DATA/reg-clean.txt"

# The zip -------------------------------------------------------------------
folder="$DATA/下载 文件夹/tomeview $short"
rm -rf "$DATA/下载 文件夹"
mkdir -p "$folder"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$folder" ||
    fail "could not unpack $zip"
[ "$(cd "$folder" && ls | LC_ALL=C sort | tr '\n' ' ')" = "tomeview.exe 使用说明.txt " ] ||
    fail "the zip holds: $(ls "$folder")"
head -c 3 "$folder/使用说明.txt" | cmp -s - <(printf '\xef\xbb\xbf') || fail "使用说明.txt has no UTF-8 mark"
grep -q "超大文本浏览器 $short 使用说明"$'\r'"\$" "$folder/使用说明.txt" || fail "使用说明.txt: no title line with CR LF"
TOMEVIEW_EXE="$folder/tomeview.exe"
versions="$("$WINE" "$WINTEXT" version "$(winpath "$TOMEVIEW_EXE")" | tr -d '\r')"
for want in "FixedFileVersion	1.0.0.0" "FixedProductVersion	1.0.0.0" "Translation	080404b0" \
        "FileVersion	1.0.0.0" "ProductVersion	1.0.0.0" "ProductName	Tomeview" \
        "FileDescription	超大文本浏览器" "CompanyName	Orvane" "LegalCopyright	版权所有 © 2026 Orvane"; do
    grep -qxF "$want" <<<"$versions" || fail "version resource: no '$want' in: $versions"
done
before="$(cd "$DATA/下载 文件夹" && find . | sort)"
open_and_close
[ "$(cd "$DATA/下载 文件夹" && find . | sort)" = "$before" ] || fail "the program wrote into its folder"
registry >"$DATA/reg-zip.txt"
diff -u "$DATA/reg-clean.txt" "$DATA/reg-zip.txt" >"$DATA/reg-zip.diff" ||
    fail "the program from the zip changed the registry (see $DATA/reg-zip.diff)"
log "zip: unpacked into '$folder', opened a file, wrote nothing"

# The installer ---------------------------------------------------------------
# reg_values HKLM|HKCU KEY: "name<TAB>type<TAB>value" for each value of KEY
# ("@" is the default value), read from the saved registry once the server has
# ended. (Wine's reg.exe would start a process, and its output is in the
# console code page.)
reg_values() {
    "$WINESERVER" -w
    python3 - "$WINEPREFIX/$([ "$1" = HKLM ] && echo system.reg || echo user.reg)" "$2" <<'PY'
import re, sys
want = "[" + sys.argv[2].replace("\\", "\\\\").lower() + "]"
inside = False
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    line = line.rstrip("\n")
    if line.startswith("["):
        inside = re.sub(r"\] \d+$", "]", line).lower() == want
        continue
    m = inside and re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
    if not m:
        continue
    name, data = (m.group(2) if m.group(1) != "@" else "@"), m.group(3)
    unescape = lambda t: re.sub(r"\\(.)", r"\1", t)
    if data.startswith('"'):
        print(f"{unescape(name)}\tREG_SZ\t{unescape(data[1:-1])}")
    elif data.startswith("dword:"):
        print(f"{unescape(name)}\tREG_DWORD\t0x{int(data[6:], 16):x}")
PY
}
# default_value HKLM|HKCU KEY: its default text value (empty when there is none).
default_value() { reg_values "$1" "$2" | awk -F'\t' '$1 == "@" && $2 == "REG_SZ" { print $3 }'; }
# default_program EXT: the file type EXT opens with, for the user and for the machine.
default_program() { printf '%s|%s\n' "$(default_value HKCU "Software\\Classes\\$1")" "$(default_value HKLM "Software\\Classes\\$1")"; }
# install MODE HIVE DIR MENU: MODE AllUsers or CurrentUser, HIVE HKLM or HKCU.
install_check() {
    local mode="$1" hive="$2" dir="$3" menu="$4"
    local uninst="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tomeview"
    local txt_before; txt_before="$(default_program .txt)"
    local rc=0
    timeout 120 "$WINE" "$(winpath "$setup")" /S "/$mode" >"$DATA/setup-$mode.log" 2>&1 || rc=$?
    [ $rc = 0 ] || fail "$mode: the installer failed (exit $rc: $(tail -3 "$DATA/setup-$mode.log" | tr '\n' ' '))"
    "$WINESERVER" -w
    local f
    for f in tomeview.exe uninstall.exe 使用说明.txt; do
        [ -f "$C/$dir/$f" ] || fail "$mode: no $dir/$f"
    done
    [ -f "$C/$menu/Tomeview.lnk" ] || fail "$mode: no shortcut $menu/Tomeview.lnk"
    cmp -s "$C/$dir/tomeview.exe" "$root/release/tomeview.exe" || fail "$mode: the installed program is not the built one"
    "$WINE" "$WINTEXT" version "$(winpath "$C/$dir/tomeview.exe")" | tr -d '\r' | grep -qxF "FileVersion	1.0.0.0" ||
        fail "$mode: the installed program's version resource does not read 1.0.0.0"

    # "name<TAB>type<TAB>value" per value of the entry
    local entry; entry="$(reg_values "$hive" "$uninst")"
    local windir="C:\\$(tr / '\\' <<<"$dir")"
    for want in "DisplayName	REG_SZ	Tomeview" "DisplayVersion	REG_SZ	$short" "Publisher	REG_SZ	Orvane" \
            "DisplayIcon	REG_SZ	$windir\\tomeview.exe,0" "InstallLocation	REG_SZ	$windir" \
            "UninstallString	REG_SZ	\"$windir\\uninstall.exe\" /$mode" "NoModify	REG_DWORD	0x1"; do
        grep -qxF "$want" <<<"$entry" || fail "$mode: uninstall entry has no '$want': $entry"
    done
    local size; size="$(awk -F'\t' '$1 == "EstimatedSize" { sub(/^0x/, "", $3); print $3 }' <<<"$entry")"
    [ -n "$size" ] && [ $((16#$size)) -ge 100 ] || fail "$mode: EstimatedSize is '$size' KiB"
    for ext in .txt .log .csv; do
        reg_values "$hive" "Software\\Classes\\$ext\\OpenWithProgids" | grep -qxF "Tomeview.Text	REG_SZ	" ||
            fail "$mode: Tomeview is not offered to open $ext files"
    done
    [ "$(default_program .txt)" = "$txt_before" ] ||
        fail "$mode: the installer changed the default program of .txt"

    # The open command that "Open with" runs, with the sample for %1.
    local cmd; cmd="$(default_value "$hive" "Software\\Classes\\Tomeview.Text\\shell\\open\\command")"
    local exe; exe="$(sed -n 's/^"\([^"]*\)" "%1"$/\1/p' <<<"$cmd")"
    [ "$exe" = "$windir\\tomeview.exe" ] || fail "$mode: open command is '$cmd'"
    TOMEVIEW_EXE="$exe"
    open_and_close

    local quiet; quiet="$(awk -F'\t' '$1 == "QuietUninstallString" { print $3 }' <<<"$entry")"
    local prog; prog="$(sed -n 's/^"\([^"]*\)" .*/\1/p' <<<"$quiet")"
    [ -n "$prog" ] && [[ "$quiet" == *" /S" ]] || fail "$mode: QuietUninstallString is '$quiet'"
    # The uninstaller runs on from a copy of itself; the server ends when it has.
    # shellcheck disable=SC2086
    "$WINE" "$prog" ${quiet#\""$prog"\"} || fail "$mode: the uninstaller failed"
    no_traces "$mode"
    log "installer, $mode: installed in $dir, opened a file, uninstalled without a trace"
}
install_check AllUsers HKLM "Program Files/Tomeview" "ProgramData/Microsoft/Windows/Start Menu/Programs"
user="$(cd "$C/users" && ls -d */ | grep -v -x 'Public/' | head -1)"
install_check CurrentUser HKCU "users/${user%/}/AppData/Local/Programs/Tomeview" \
    "users/${user%/}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
log ok
