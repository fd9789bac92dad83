#!/usr/bin/env bash
# The program at 96, 120, 144 and 192 dpi (the prefix's LogPixels, set here
# with a restart of the Wine server, and set back to 96 at the end): the row
# pitch on screen is within a pixel of the 96-dpi pitch times the scale, the
# gutter grows with it, a double-click on a word selects that word (copied),
# and the Find dialog's controls neither overlap nor leave it. One
# screenshot of the window and one of the dialog for each dpi.
set -u
source "$(dirname "$0")/lib/app_common.sh"
source "$(dirname "$0")/lib/dialog_helpers.sh"
source "$(dirname "$0")/lib/input_helpers.sh"
for tool in xdotool xclip convert; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
wintext_build
rm -f "$SHOTS"/*.png

set_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
        fail "could not set LogPixels to $1"
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
}
trap 'e2e_cleanup; set_dpi 96' EXIT

doc="$DATA/app_high_dpi.txt"
for i in $(seq 1 60); do printf 'row %02d of the text selectme and more\r\n' "$i"; done >"$doc"
TITLE="$(winpath "$doc") - Tomeview超大文本浏览器-Orvane：$SITE"

base_pitch="" base_gutter=""
for dpi in 96 120 144 192; do
    set_dpi "$dpi"
    start_app "$(winpath "$doc")"
    wait_main "$TITLE" 90
    pane_geometry "$W" $(((48 * dpi + 48) / 96 - (3 * dpi + 48) / 96))
    # The gutter: from the pane's left edge to the gutter line.
    pane_x=$(wintext controls "$TITLE" | awk -F'\t' '$3 == "Text2" { print $5; exit }')
    [ -n "$pane_x" ] || fail "no text pane in the main window"
    gutter=$((SEPX - pane_x))
    shot "window-$dpi" >/dev/null
    if [ "$dpi" = 96 ]; then
        base_pitch=$LH base_gutter=$gutter
    else
        want=$(awk -v p="$base_pitch" -v d="$dpi" 'BEGIN { printf "%.2f", p * d / 96 }')
        awk -v lh="$LH" -v w="$want" 'BEGIN { exit !(lh - w <= 1 && w - lh <= 1) }' ||
            fail "at $dpi dpi the row pitch is $LH px, expected $want within 1 (see $SHOTS/window-$dpi.png)"
        [ "$gutter" -ge $((base_gutter * dpi / 96 - 2)) ] ||
            fail "at $dpi dpi the gutter is $gutter px wide, at 96 it was $base_gutter"
    fi
    # A double-click in the middle of "selectme" (columns 19 to 26 of row 3).
    activate "$W"
    clip_seed "seed"
    cw=$(((8 * dpi + 48) / 96))
    xdotool mousemove $((TX + 22 * cw + cw / 2)) "$(row_y 2)" click --repeat 2 --delay 60 1
    copy_expect "the word double-clicked at $dpi dpi" 'selectme'
    # The Find dialog: every control inside it, none over another.
    D="$(press_find_keys xsend "$W" key)" || fail "Ctrl+F showed no Find dialog at $dpi dpi"
    sleep 0.3
    shot "find-$dpi" >/dev/null
    wintext controls "$D" | awk -F'\t' -v dpi="$dpi" '
        BEGIN { n = 0 }
        NF < 8 { next }
        !L { L = $5; T = $6; R = $5 + $7; B = $6 + $8; next }
        { x[n] = $5; y[n] = $6; w[n] = $7; h[n] = $8; id[n] = $2; n++ }
        END {
            for (i = 0; i < n; i++) {
                if (x[i] < L || y[i] < T || x[i] + w[i] > R || y[i] + h[i] > B) { print "control " id[i] " leaves the dialog at " dpi " dpi"; bad = 1 }
                for (j = i + 1; j < n; j++)
                    if (x[i] < x[j] + w[j] && x[j] < x[i] + w[i] && y[i] < y[j] + h[j] && y[j] < y[i] + h[i]) {
                        print "controls " id[i] " and " id[j] " overlap at " dpi " dpi"; bad = 1
                    }
            }
            exit bad
        }' >"$E2E_TMP/layout" || fail "$(cat "$E2E_TMP/layout") (see $SHOTS/find-$dpi.png)"
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    log "$dpi dpi: row pitch $LH px, gutter $gutter px"
done
log "ok (screenshots in $SHOTS)"
