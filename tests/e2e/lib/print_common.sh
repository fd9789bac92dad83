# Shared set-up for the print scripts: finds tomeview.exe, starts CUPS (before
# Wine, which lists the printers when it starts) and Xvfb when no DISPLAY is
# given, and offers helpers to open a document, start a print job and pick up
# the PDF the spooler writes. Source it after setting PRINT_NAME.
: "${PRINT_NAME:?set PRINT_NAME before sourcing print_common.sh}"
src="${TOMEVIEW_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)}"
exe="${TOMEVIEW_EXE:-}"
for d in "$src/build/win" "$src/build/output-win"; do
    [ -z "$exe" ] && [ -f "$d/tomeview.exe" ] && exe="$d/tomeview.exe"
done
[ -n "$exe" ] || { echo "$PRINT_NAME: tomeview.exe not built" >&2; exit 1; }

source "$src/scripts/wine-env.sh"
tv_prefix_ensure
"$src/scripts/cups-start.sh" >/dev/null

work=$(mktemp -d "/tmp/tv_$PRINT_NAME.XXXXXX")
pid=""
started_xvfb=0
print_cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    [ $started_xvfb = 1 ] && tv_xvfb_stop
    rm -rf "$work"
}
trap print_cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then tv_xvfb_start; started_xvfb=1; fi
out="${TOMEVIEW_E2E_OUT:-$src/build/e2e/$PRINT_NAME}"
mkdir -p "$out"
pdfdirs=("$HOME/PDF" /root/PDF /var/spool/cups-pdf/ANONYMOUS)
touch "$work/marker"

print_fail() {
    echo "$PRINT_NAME: FAIL: $*" >&2
    exit 1
}
fail() {
    import -display "$DISPLAY" -window root "$out/failed.png" 2>/dev/null || true
    print_fail "$* (screen in $out/failed.png)"
}
XWIN_DIR="$work"
source "$(dirname "${BASH_SOURCE[0]}")/xwin.sh"

# wait_title PATTERN SECONDS: prints a shown window of the program whose
# title matches (xsend and xquery look it up again on each use).
wait_title() {
    local t start=$SECONDS
    while [ $((SECONDS - start)) -lt "$2" ]; do
        t=$(xwin_find "$pid" "$1") && { echo "$t"; return 0; }
        sleep 0.05
    done
    return 1
}

# activate WINDOW: clicks the caption until it shows the active colour and
# the window has the X focus (without a window manager a window that only
# gets the X focus stays inactive and gets no keys).
activate() {
    local i j
    for i in 1 2 3 4 5; do
        eval "$(xquery "$1" getwindowgeometry --shell)"
        for j in $(seq 20); do
            import -display "$DISPLAY" -window root -crop "1x1+$((X + WIDTH / 2))+$((Y + 4))" "$work/cap.ppm" 2>/dev/null
            [ "$(convert "$work/cap.ppm" -depth 8 -format '%[hex:p{0,0}]' info: 2>/dev/null)" != 808080 ] &&
                [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(xid "$1")" ] && return 0
            [ "$j" = 1 ] && xdotool mousemove $((X + WIDTH / 2)) $((Y + 10)) click 1
            sleep 0.1
        done
    done
    fail "$(xwin_name "$1") did not become active"
}

# open_document PATH: starts the program on PATH and sets win to its window.
open_document() {
    xwin_start "$work/app.log" 120 "$exe" "$(tv_winpath "$1")"
    pid=$XWIN_PID
    # A first start on a busy machine can be slow: allow two minutes.
    win=$(wait_title "$(basename "$1") - Tomeview" 120) || print_fail "the document did not open"
    activate "$win"
}

# open_print_dialog: Ctrl+P until the Print dialog is shown; sets dlg.
open_print_dialog() {
    dlg=""
    local i
    for i in 1 2 3 4 5 6; do
        # A dialog that came late would be hidden by a click on the caption.
        [ "$i" -gt 1 ] && dlg=$(wait_title "^打印$" 1) && break
        activate "$win"
        xdotool key ctrl+p
        dlg=$(wait_title "^打印$" 5) && break
    done
    [ -n "$dlg" ] || fail "no Print dialog"
}

# confirm_print_dialog: Enter in the Print dialog until it has gone.
confirm_print_dialog() {
    local i j
    for i in 1 2 3; do
        xsend "$dlg" key Return
        for j in $(seq 100); do
            [ -z "$(xwin_search "$pid" '^打印$')" ] && return 0
            sleep 0.1
        done
    done
    fail "the Print dialog stayed open after Enter"
}

# newest_pdf: the PDF the spooler wrote since the start (empty if none yet).
newest_pdf() {
    find "${pdfdirs[@]}" -maxdepth 1 -name 'printer*.pdf' -newer "$work/marker" 2>/dev/null | head -1 || true
}

# wait_pdf DEST: waits for the spooler's PDF and moves it to DEST.
wait_pdf() {
    local pdf="" start=$SECONDS
    # The spooler writes the PDF a few seconds after the job.
    while [ $((SECONDS - start)) -lt 60 ]; do
        pdf=$(newest_pdf)
        if [ -n "$pdf" ] && pdfinfo "$pdf" >/dev/null 2>&1; then break; fi
        pdf=""
        sleep 0.2
    done
    [ -n "$pdf" ] || print_fail "no PDF appeared"
    mv "$pdf" "$1"
}
