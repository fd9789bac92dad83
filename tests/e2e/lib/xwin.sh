# Finding the program's X windows and sending input to them.
#
# xdotool sends a key to a window as a press and then a release; when the
# press closes the window (Enter in the Print dialog, X in the File menu)
# the release meets a destroyed window and xdotool dies with BadWindow.
# And an id can go stale: it may be found before the window is shown or
# set up, and ids come back in later runs. So a window is held by what it
# was looked up by (process and title pattern) and looked up again right
# before each use; a send that fails looks it up again and retries for
# XWIN_RETRY seconds, then fails naming the title; a window that went away
# while it got the input counts as reached.
#
# Needs: fail MESSAGE; XWIN_DIR, a private directory of the script. Works
# under set -e.
XWIN_RETRY="${XWIN_RETRY:-15}"
XWIN_REG="$XWIN_DIR/xwin-registry"
: >>"$XWIN_REG"

# xwin_search PID PATTERN: visible windows of PID (any process if empty)
# whose title matches PATTERN (extended regex, case ignored), topmost last.
xwin_search() {
    if [ -n "$1" ]; then
        xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null
    else
        xdotool search --onlyvisible --name "$2" 2>/dev/null
    fi
}

# xwin_note ID PID PATTERN: remembers how ID was found.
xwin_note() { printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$(xdotool getwindowname "$1" 2>/dev/null)" >>"$XWIN_REG"; }

# xwin_find PID PATTERN: prints one matching window and remembers it.
xwin_find() {
    local w
    w="$(xwin_search "$1" "$2" | head -1)"
    [ -n "$w" ] || return 1
    xwin_note "$w" "$1" "$2"
    printf '%s\n' "$w"
}

# xwin_about ID: "pid<TAB>pattern<TAB>last title" of a remembered window.
xwin_about() { awk -F'\t' -v id="$1" '$1 == id { r = $2 "\t" $3 "\t" $4 } END { if (r != "") print r }' "$XWIN_REG"; }

# xid ID: the current X window of the window first found as ID. The same id
# while it still matches; otherwise the match with the last title seen, or
# the first match. Unknown ids are printed unchanged.
xid() {
    local about pid pattern title c cands first=""
    about="$(xwin_about "$1")"
    if [ -z "$about" ]; then printf '%s\n' "$1"; return 0; fi
    IFS=$'\t' read -r pid pattern title <<<"$about"
    cands="$(xwin_search "$pid" "$pattern")"
    for c in $cands; do
        if [ "$c" = "$1" ]; then printf '%s\n' "$1"; return 0; fi
    done
    for c in $cands; do
        [ -z "$first" ] && first="$c"
        if [ "$(xdotool getwindowname "$c" 2>/dev/null)" = "$title" ]; then first="$c"; break; fi
    done
    if [ -z "$first" ]; then printf '%s\n' "$1"; return 0; fi
    # Later look-ups by either id give the new window.
    printf '%s\t%s\t%s\t%s\n' "$1" "$pid" "$pattern" "$title" >>"$XWIN_REG"
    xwin_note "$first" "$pid" "$pattern"
    printf '%s\n' "$first"
}

# xwin_name ID: what to call the window in a failure message.
xwin_name() {
    local about pid pattern title
    about="$(xwin_about "$1")"
    [ -n "$about" ] || { printf 'window %s' "$1"; return; }
    IFS=$'\t' read -r pid pattern title <<<"$about"
    printf "the window titled '%s' (looked up by /%s/)" "$title" "$pattern"
}

# xdo_retry ID CMD...: runs CMD with {} replaced by the current id of ID,
# again on a stale id, for up to XWIN_RETRY seconds. Prints CMD's output.
xdo_retry() {
    local id="$1" start=$SECONDS err out rc w a sub_kind="${XDO_KIND:-query}"
    shift
    while :; do
        w="$(xid "$id")"
        local args=()
        for a in "$@"; do
            if [ "$a" = "{}" ]; then args+=("$w"); else args+=("$a"); fi
        done
        local was_there=0
        xdotool getwindowname "$w" >/dev/null 2>&1 && was_there=1
        rc=0
        out="$("${args[@]}" 2>"$XWIN_DIR/xdo-err")" || rc=$?
        err="$(cat "$XWIN_DIR/xdo-err")"
        if [ $rc = 0 ] && [[ "$err" != *"X Error"* ]]; then
            [ -n "$out" ] && printf '%s\n' "$out"
            return 0
        fi
        # A key press that closes its window (Enter in a dialog, X in a menu
        # that ends the program) leaves the key release without a window.
        if [ $was_there = 1 ] && [ "$sub_kind" = input ] &&
            ! xdotool getwindowname "$w" >/dev/null 2>&1 && [ "$(xid "$id")" = "$w" ]; then
            return 0
        fi
        if [ $((SECONDS - start)) -ge "$XWIN_RETRY" ]; then
            fail "could not reach $(xwin_name "$id") for '$*' within $XWIN_RETRY s: ${err:-exit $rc}"
        fi
        sleep 0.2
    done
}

# xsend ID SUBCOMMAND ARGS...: an xdotool command with --window, as in
# "xsend $W key ctrl+f" or "xsend $W mousemove 29 32 click 1". A window
# that goes away while it gets the input counts as reached.
xsend() {
    local id="$1" sub="$2"
    shift 2
    XDO_KIND=input xdo_retry "$id" xdotool "$sub" --window {} "$@"
}

# xquery ID SUBCOMMAND ARGS...: an xdotool command that takes the window
# last, as in "xquery $W getwindowgeometry --shell".
xquery() {
    local id="$1" sub="$2"
    shift 2
    xdo_retry "$id" xdotool "$sub" "$@" {}
}

# xwin_start LOG SECONDS EXE ARGS...: starts EXE under Wine, its output and
# Wine's error messages into LOG, and waits up to SECONDS for its first
# window; sets XWIN_PID. Rarely (about once in a hundred starts, only in full
# runs) Wine's process has ended at once, before any window; the server is
# then stopped and the program started again, at most three times in all,
# saying so with the exit code and what Wine printed. A third such end is
# for the caller's waits to report.
xwin_start() {
    local log="$1" limit="$2" try rc start
    shift 2
    for try in 1 2 3; do
        WINEDEBUG="${XWIN_WINEDEBUG:--all,err+all,warn+debugstr}" "$WINE" "$@" >"$log" 2>&1 &
        XWIN_PID=$!
        start=$SECONDS
        while kill -0 "$XWIN_PID" 2>/dev/null; do
            [ -n "$(xdotool search --all --pid "$XWIN_PID" 2>/dev/null | head -1)" ] && return 0
            [ $((SECONDS - start)) -lt "$limit" ] || return 0
            sleep 0.1
        done
        [ "$try" -lt 3 ] || return 0
        rc=0
        wait "$XWIN_PID" 2>/dev/null || rc=$?
        printf '%s: the program ended at start-up without a window (exit %s, output: %s); Wine restarted, started again\n' \
            "$(basename "$0" .sh)" "$rc" "$(tail -c 600 "$log" | tr '\n' ' ')" >&2
        "$WINESERVER" -k >/dev/null 2>&1
        "$WINESERVER" -w >/dev/null 2>&1
    done
}
