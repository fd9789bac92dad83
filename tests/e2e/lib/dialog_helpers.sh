# Helpers for the journey_*.sh scripts: reading dialog controls of the running
# program and the selection on screen; with the X clipboard (clipboard.sh) and
# the menus (menu.sh).
# Source it after app_common.sh.

WINTEXT_SRC="$TOMEVIEW_SOURCE/tests/e2e/lib/wintext_win.cpp"
WINTEXT="$TOMEVIEW_BUILD/e2e-tools/wintext.exe"

# Builds the control reader when it is missing or older than its source.
wintext_build() {
    if [ -f "$WINTEXT" ] && [ ! "$WINTEXT_SRC" -nt "$WINTEXT" ]; then return 0; fi
    command -v x86_64-w64-mingw32-g++ >/dev/null || fail "x86_64-w64-mingw32-g++ missing"
    mkdir -p "$(dirname "$WINTEXT")"
    x86_64-w64-mingw32-g++ -std=c++17 -O1 -municode -static -o "$WINTEXT.$$.tmp" "$WINTEXT_SRC" ||
        fail "could not build $WINTEXT"
    mv -f "$WINTEXT.$$.tmp" "$WINTEXT"
}

# wait_main TITLE SECONDS: waits for the program's main window to show
# exactly TITLE and sets W to its X window. The X window is looked up again
# on every poll: Wine may replace it while the window is set up.
wait_main() {
    local start=$SECONDS w t=""
    while [ $((SECONDS - start)) -lt "$2" ]; do
        for w in $(xdotool search --all --pid "$APP_PID" --name 'Tomeview' 2>/dev/null); do
            t="$(xdotool getwindowname "$w" 2>/dev/null)"
            if [ "$t" = "$1" ]; then
                W="$w"
                xwin_note "$W" "$APP_PID" 'Tomeview'
                return 0
            fi
        done
        app_alive || ended_early "the title '$1'"
        sleep 0.1
    done
    fail "no main window titled '$1' within $2 s (last seen '$t')"
}

# wintext ARGS...: runs the reader in the program's prefix.
wintext() { "$WINE" "$WINTEXT" "$@" 2>/dev/null </dev/null; }

# hwnd_of TITLE: handle of the visible top-level window with exactly TITLE.
# (Texts reach awk through the environment: -v would expand backslashes.)
hwnd_of() { wintext windows | WT_TITLE="$1" awk -F'\t' '$8 == ENVIRON["WT_TITLE"] { print $1; exit }'; }

# wait_hwnd TITLE SECONDS [CLASS]: prints the handle or fails.
wait_hwnd() {
    local title="$1" limit="$2" cls="${3:-}" h start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        h="$(wintext windows | WT_TITLE="$title" awk -F'\t' -v c="$cls" '$8 == ENVIRON["WT_TITLE"] && (c == "" || $3 == c) { print $1; exit }')"
        if [ -n "$h" ]; then
            printf '%s\n' "$h"
            return 0
        fi
        app_alive || ended_early "the window '$title'"
        sleep 0.2
    done
    fail "no window titled '$title' within $limit s"
}

# wait_no_hwnd TITLE SECONDS
wait_no_hwnd() {
    local start=$SECONDS
    while [ $((SECONDS - start)) -lt "$2" ]; do
        [ -z "$(hwnd_of "$1")" ] && return 0
        sleep 0.2
    done
    fail "window '$1' still there after $2 s"
}

# ctl HWND ID FIELD: one field of a control of the window HWND (a window of
# this program). Fields: 1 hwnd, 3 class, 4 check state, 5-8 x y w h, 9 text.
# ID may name the class as well, as in 1:Button, when several controls share it.
ctl() { wintext controls "$1" | ctl_pick "$2" "$3"; }
ctl_pick() {
    local id="${1%%:*}" cls=""
    case "$1" in *:*) cls="${1#*:}" ;; esac
    # Field 0 stands for the rectangle "x y w h".
    awk -F'\t' -v id="$id" -v c="$cls" -v f="$2" \
        '$2 == id && (c == "" || $3 == c) { if (f == 0) print $5, $6, $7, $8; else print $f; exit }'
}

# wait_ctl_text HWND ID TEXT SECONDS: waits until the control shows TEXT.
wait_ctl_text() {
    local h="$1" id="$2" want="$3" limit="$4" got="" start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        got="$(ctl "$h" "$id" 9)"
        [ "$got" = "$want" ] && return 0
        sleep 0.2
    done
    fail "control $id shows '$got', expected '$want' (waited $limit s)"
}

# click_ctl HWND ID [XOFF]: clicks a control, at XOFF from its left edge or
# in its middle.
click_ctl() {
    local r x y w h
    if [ "${CTL_CACHE_HWND:-}" = "$1" ]; then
        r="$(printf '%s\n' "$CTL_CACHE" | ctl_pick "$2" 0)"
    else
        r="$(wintext controls "$1" | ctl_pick "$2" 0)"
    fi
    [ -n "$r" ] || fail "no control $2 in window $1"
    read -r x y w h <<<"$r"
    if [ -n "${3:-}" ]; then x=$((x + $3)); else x=$((x + w / 2)); fi
    xdotool mousemove "$x" $((y + h / 2)) click 1
}

# type_into_ctl HWND ID TEXT TRIES DELAY: replaces an edit control's text by
# typing TEXT (DELAY ms a key) until the control shows it; fails after TRIES.
type_into_ctl() {
    local i j
    for i in $(seq "$4"); do
        click_ctl "$1" "$2"
        xdotool key End shift+Home
        xdotool type --delay "$5" "$3"
        for j in $(seq 10); do
            [ "$(ctl "$1" "$2" 9)" = "$3" ] && return 0
            sleep 0.2
        done
    done
    fail "could not type '$3' into control $2 (it shows '$(ctl "$1" "$2" 9)')"
}

# cache_controls HWND: click_ctl takes the places of this window's controls
# from now on from one reading (for a dialog that does not move).
cache_controls() {
    CTL_CACHE="$(wintext controls "$1")"
    CTL_CACHE_HWND="$1"
}

# set_check HWND ID 0|1: ticks or clears a check box with the mouse.
set_check() {
    local i
    for i in 1 2 3; do
        [ "$(ctl "$1" "$2" 4)" = "$3" ] && return 0
        click_ctl "$1" "$2" 7
        sleep 0.2
    done
    [ "$(ctl "$1" "$2" 4)" = "$3" ] || fail "check box $2 did not become $3"
}

# press_find_keys SEND...: sends Ctrl+F with the command SEND (as in
# `xsend "$W" key`) until the Find dialog shows, at most 5 times (a busy
# machine may drop a key), and prints the dialog's handle.
press_find_keys() {
    local d="" i
    for i in 1 2 3 4 5; do
        "$@" ctrl+f
        d="$(wintext windows | awk -F'\t' '$8 == "查找" && $3 == "#32770" { print $1; exit }')"
        [ -n "$d" ] && break
        sleep 1
    done
    [ -n "$d" ] || d="$(wait_hwnd 查找 10 '#32770')" || exit 1
    printf '%s\n' "$d"
}

# Message boxes and the program's other dialogs: the text of static 65535.
msgbox_text() { ctl "$1" 65535 9; }

# --- selection on screen ----------------------------------------------------

# sel_box IMAGE X Y W H: the box of the inverted (black) cells inside the
# region, as absolute "x y w h", or "none".
sel_box() {
    local g
    g="$(convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace Gray -threshold 8% \
        -format '%@' info: 2>/dev/null)"
    case "$g" in
    *x*+*+*)
        local w="${g%%x*}" rest="${g#*x}"
        local h="${rest%%+*}" xy="${rest#*+}"
        local bx="${xy%%+*}" by="${xy#*+}"
        # An image without any black pixel trims to nothing (a 0x0 or 1x1 box).
        if [ "$w" -le 1 ] && [ "$h" -le 1 ]; then echo none; else echo "$(($2 + bx)) $(($3 + by)) $w $h"; fi
        ;;
    *) echo none ;;
    esac
}


source "$(dirname "${BASH_SOURCE[0]}")/clipboard.sh"
source "$(dirname "${BASH_SOURCE[0]}")/menu.sh"
