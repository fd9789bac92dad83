# Environment for running the Windows build under Wine. Source it (bash):
#   source scripts/wine-env.sh
# Exports WINEPREFIX (build/wineprefix unless already set), WINE, WINESERVER,
# WINEDEBUG, LANG=zh_CN.UTF-8 (active code page 936) and defines:
#   tv_prefix_ensure   create the prefix and apply scripts/wine-prefix.reg (stamped)
#   tv_xvfb_start      start Xvfb on a free display, export DISPLAY, set TV_XVFB_PID
#   tv_xvfb_stop       stop that Xvfb by its pid
#   tv_cups_ensure     make sure cupsd runs and the PDF printer exists (sets TV_CUPSD_PID if started)
#   tv_cups_stop       stop cupsd if tv_cups_ensure started it
#   tv_wine_stop       end the Wine processes of this prefix (its own wineserver only)
#   tv_winpath PATH    print the Windows form (Z:\...) of a Unix path
#   tv_utf8_acp_copy EXE DIR  copy EXE into DIR with a manifest that runs it with ANSI code page 65001

TV_SOURCE="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TV_BUILD_ROOT="${TOMEVIEW_BUILD_ROOT:-$TV_SOURCE/build}"
export WINEPREFIX="${WINEPREFIX:-$TV_BUILD_ROOT/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko installers (they would wait for a click), no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d;winemenubuilder.exe=d}"
# The code page follows the locale: zh_CN.UTF-8 gives GetACP() == 936.
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE
export LANG=zh_CN.UTF-8

if [ -x /usr/lib/wine/wine64 ]; then
    export WINE=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
else
    WINE="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
    WINESERVER="$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)"
    export WINE WINESERVER
fi

TV_PREFIX_REG="$TV_SOURCE/scripts/wine-prefix.reg"

tv_winpath() {
    local p="$1"
    case "$p" in /*) ;; *) p="$PWD/$p" ;; esac
    printf 'Z:%s\n' "${p//\//\\}"
}

# Wine 8 takes the ANSI code page from the locale; it does not read the
# registry's Nls\CodePage ACP. A program runs with 65001 when its manifest
# asks for it (activeCodePage, as on Windows 10 1903 and later); a manifest
# file beside the program counts only when none is built into it.
tv_utf8_acp_copy() {
    local exe="$1" dir="$2"
    mkdir -p "$dir" && cp "$exe" "$dir/" || return 1
    cat >"$dir/$(basename "$exe").manifest" <<'EOF'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly manifestVersion="1.0" xmlns="urn:schemas-microsoft-com:asm.v1">
  <assemblyIdentity type="win32" name="Tomeview.Tests" version="1.0.0.0"/>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>
    </windowsSettings>
  </application>
</assembly>
EOF
}

tv_prefix_stamp_value() {
    printf '%s %s\n' "$(cksum <"$TV_PREFIX_REG")" "$("$WINE" --version 2>/dev/null)"
}

tv_prefix_ensure() {
    local stamp="$WINEPREFIX/.tomeview-stamp"
    local want; want="$(tv_prefix_stamp_value)"
    if [ -f "$WINEPREFIX/user.reg" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ]; then
        return 0
    fi
    mkdir -p "$(dirname "$WINEPREFIX")"
    local lockfd
    exec {lockfd}>"$WINEPREFIX.lock"
    flock "$lockfd"
    # Another process may have finished it while this one waited.
    if [ -f "$WINEPREFIX/user.reg" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ]; then
        exec {lockfd}>&-
        return 0
    fi
    echo "wine-env: preparing the Wine prefix $WINEPREFIX" >&2
    local ok=1
    # No display is needed to create the prefix.
    if ! env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1; then ok=0; fi
    "$WINESERVER" -w
    if [ $ok = 1 ] && ! env -u DISPLAY "$WINE" regedit "$(tv_winpath "$TV_PREFIX_REG")" >/dev/null 2>&1; then ok=0; fi
    # The registry reaches user.reg when the server ends.
    "$WINESERVER" -w
    if [ $ok = 1 ] && grep -q 'WenQuanYi Micro Hei Mono' "$WINEPREFIX/user.reg" 2>/dev/null; then
        printf '%s\n' "$want" >"$stamp"
    else
        echo "wine-env: could not prepare the Wine prefix $WINEPREFIX" >&2
        ok=0
    fi
    exec {lockfd}>&-
    [ $ok = 1 ]
}

# Starts Xvfb on the first free display; Xvfb reports the number once it accepts clients.
tv_xvfb_start() {
    local numfile; numfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 "${TV_XVFB_SCREEN:-1280x800x24}" -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
    TV_XVFB_PID=$!
    local i
    for i in $(seq 200); do
        if grep -q '[0-9]' "$numfile"; then break; fi
        if ! kill -0 "$TV_XVFB_PID" 2>/dev/null; then break; fi
        sleep 0.05
    done
    local num; num="$(tr -dc '0-9' <"$numfile")"
    rm -f "$numfile"
    if [ -z "$num" ]; then
        echo "wine-env: Xvfb did not start" >&2
        kill "$TV_XVFB_PID" 2>/dev/null
        TV_XVFB_PID=
        return 1
    fi
    export DISPLAY=":$num"
}

tv_xvfb_stop() {
    if [ -n "${TV_XVFB_PID:-}" ]; then
        kill "$TV_XVFB_PID" 2>/dev/null || true
        wait "$TV_XVFB_PID" 2>/dev/null || true
        TV_XVFB_PID=
    fi
}

tv_wine_stop() {
    # -k returns before the server is gone; a program started in that time
    # joins the dying server and is killed with it, so wait for the end.
    [ -d "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1 && "$WINESERVER" -w >/dev/null 2>&1
    return 0
}

tv_cups_running() {
    LC_ALL=C lpstat -r 2>/dev/null | grep -q 'scheduler is running'
}

tv_cups_ensure() {
    command -v lpstat >/dev/null 2>&1 && [ -x /usr/sbin/cupsd ] || { echo "wine-env: CUPS is not installed" >&2; return 1; }
    if ! tv_cups_running; then
        /usr/sbin/cupsd -f >/dev/null 2>&1 &
        TV_CUPSD_PID=$!
        local i
        for i in $(seq 100); do
            tv_cups_running && break
            kill -0 "$TV_CUPSD_PID" 2>/dev/null || break
            sleep 0.1
        done
        if ! tv_cups_running; then
            echo "wine-env: cupsd did not start" >&2
            tv_cups_stop
            return 1
        fi
    fi
    if ! lpstat -p PDF >/dev/null 2>&1; then
        lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd &&
            lpadmin -d PDF || { echo "wine-env: could not add the PDF printer" >&2; return 1; }
    fi
    return 0
}

tv_cups_stop() {
    if [ -n "${TV_CUPSD_PID:-}" ]; then
        kill "$TV_CUPSD_PID" 2>/dev/null || true
        wait "$TV_CUPSD_PID" 2>/dev/null || true
        TV_CUPSD_PID=
    fi
}
