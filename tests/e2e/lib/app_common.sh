# Helpers for the end-to-end scripts that drive tomeview.exe under Wine.
# Source it from a tests/e2e/app_*.sh script. Works with the environment the
# test command exports, and by hand with sensible defaults:
#   TOMEVIEW_EXE TOMEVIEW_BUILD TOMEVIEW_SOURCE DISPLAY WINEPREFIX WINE WINESERVER
# Screenshots go to $TOMEVIEW_BUILD/e2e-shots/<script>/.

TOMEVIEW_SOURCE="${TOMEVIEW_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)}"
TOMEVIEW_BUILD="${TOMEVIEW_BUILD:-$TOMEVIEW_SOURCE/build/win}"
TOMEVIEW_EXE="${TOMEVIEW_EXE:-$TOMEVIEW_BUILD/tomeview.exe}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver64}"
export WINEDEBUG="${WINEDEBUG:--all}" LANG="${LANG:-zh_CN.UTF-8}"
: "${DISPLAY:?DISPLAY must name a running X server (Xvfb)}"
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export DISPLAY WINEPREFIX

E2E_NAME="$(basename "$0" .sh)"
SHOTS="$TOMEVIEW_BUILD/e2e-shots/$E2E_NAME"
DATA="$TOMEVIEW_BUILD/e2e-data"
mkdir -p "$SHOTS" "$DATA"
E2E_TMP="$(mktemp -d "${TMPDIR:-/tmp}/tv_${E2E_NAME}.XXXXXX")"
XWIN_DIR="$E2E_TMP"

SITE="https://tomeview.example.org"
STARTUP_TITLE="tomeview - 超级文本浏览器-官网：$SITE"
APP_PIDS=()

log() { printf '%s: %s\n' "$E2E_NAME" "$*"; }

# Ends only the programs this script started.
e2e_cleanup() {
    local p
    for p in "${APP_PIDS[@]}"; do
        kill "$p" 2>/dev/null
    done
    for p in "${APP_PIDS[@]}"; do
        wait "$p" 2>/dev/null
    done
    APP_PIDS=()
    declare -F clip_cleanup >/dev/null && clip_cleanup
    publish_shots
    rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() {
    local msg="$*"
    # The screen as it was, for the reader of the log (once: fail may be
    # called again from the exit path).
    if [ -z "${E2E_FAILED_SHOT:-}" ] && [ -n "${SHOTS:-}" ] && [ -n "${DISPLAY:-}" ]; then
        E2E_FAILED_SHOT=1
        import -display "$DISPLAY" -window root "$SHOTS/failed.miff" 2>/dev/null &&
            msg="$msg (screen: $SHOTS/failed.png)"
    fi
    printf '%s: FAIL: %s\n' "$E2E_NAME" "${msg//.miff/.png}" >&2
    exit 1
}

[ -f "$TOMEVIEW_EXE" ] || fail "no program at $TOMEVIEW_EXE"
source "$(dirname "${BASH_SOURCE[0]}")/xwin.sh"

winpath() {
    local p="$1"
    case "$p" in /*) ;; *) p="$PWD/$p" ;; esac
    printf 'Z:%s' "${p//\//\\}"
}

# start_app [args...]: starts the program; APP_PID is its process.
start_app() {
    APP_LOG="$E2E_TMP/app-${#APP_PIDS[@]}.log"
    xwin_start "$APP_LOG" 60 "$TOMEVIEW_EXE" "$@"
    APP_PID=$XWIN_PID
    APP_PIDS+=("$APP_PID")
}

# ended_early WHAT: fails saying that the program ended during WHAT, with
# what Wine printed.
ended_early() {
    fail "the program ended while waiting for $1; its output: $(tail -c 600 "$APP_LOG" 2>/dev/null | tr '\n' ' ')"
}

app_alive() { kill -0 "$APP_PID" 2>/dev/null; }

# A shown window of the program started last whose title matches REGEX.
find_window() { xwin_search "$APP_PID" "$1" | head -1; }

# wait_window REGEX SECONDS: prints the window id or fails. The helpers
# below look the window up again by REGEX whenever they use the id.
wait_window() {
    local pattern="$1" limit="$2" w start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        w="$(xwin_find "$APP_PID" "$pattern")"
        if [ -n "$w" ]; then
            printf '%s\n' "$w"
            return 0
        fi
        app_alive || ended_early "a window named /$pattern/"
        sleep 0.1
    done
    fail "no window named /$pattern/ within $limit s"
}

title_of() { xdotool getwindowname "$(xid "$1")" 2>/dev/null; }

# wait_title WINDOW TEXT SECONDS: waits until the title equals TEXT.
wait_title() {
    local w="$1" want="$2" limit="$3" start=$SECONDS t=""
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        t="$(title_of "$w")"
        [ "$t" = "$want" ] && return 0
        sleep 0.05
    done
    fail "title is '$t', expected '$want' (waited $limit s)"
}

# wait_gone REGEX SECONDS
wait_gone() {
    local pattern="$1" limit="$2" start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        [ -z "$(find_window "$pattern")" ] && return 0
        sleep 0.1
    done
    fail "window /$pattern/ still there after $limit s"
}

# wait_exit SECONDS: waits for the program to end on its own; sets APP_RC.
wait_exit() {
    local limit="$1" start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        if ! app_alive; then
            wait "$APP_PID" 2>/dev/null
            APP_RC=$?
            return 0
        fi
        sleep 0.1
    done
    fail "the program is still running $limit s after it should have ended"
}

# shot NAME: screenshot of the whole screen; prints its path. Taken as MIFF,
# which is quick enough to catch a running scan; turned into PNG at the end.
shot() {
    import -display "$DISPLAY" -window root "$SHOTS/$1.miff" 2>/dev/null || fail "screenshot $1 failed"
    printf '%s\n' "$SHOTS/$1.miff"
}

publish_shots() {
    local f
    for f in "$SHOTS"/*.miff; do
        [ -f "$f" ] && convert "$f" "${f%.miff}.png" && rm -f "$f"
    done
    rm -f "$SHOTS"/tmp-*.png
}

# crop IMAGE X Y W H OUT
crop() { convert "$1" -crop "${4}x${5}+${2}+${3}" +repage "$6"; }

# Number of pixels that differ between two images of the same size.
pixel_diff() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# Number of pixels in a region that are not white.
ink() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -fill black +opaque white \
        -format '%[fx:int(w*h*(1-mean)+0.5)]' info: 2>/dev/null
}

# dark IMAGE X Y W H: number of dark pixels (grey level under 40 %) in a region.
dark() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace Gray -threshold 40% \
        -format '%[fx:int(w*h*(1-mean)+0.5)]' info: 2>/dev/null
}

# Geometry of a window: sets WX WY WW WH.
window_geometry() {
    eval "$(xquery "$1" getwindowgeometry --shell | sed -n 's/^X=/WX=/p; s/^Y=/WY=/p; s/^WIDTH=/WW=/p; s/^HEIGHT=/WH=/p')"
}

# Clicks the close box that Wine draws at the right end of the caption.
click_close_box() {
    window_geometry "$1"
    xdotool mousemove $((WX + WW - 15)) $((WY + 12)) click 1
}

# make_sample PATH: a UTF-8 log with Chinese text, CR LF line ends.
make_sample() {
    [ -s "$1" ] && return 0
    {
        local i
        for i in $(seq 1 200); do
            printf '2024-05-01 12:00:%02d [INFO] 第%d行：连接数据库成功，耗时 %d ms\r\n' $((i % 60)) "$i" $((i * 3))
        done
    } >"$1"
}

# uncache PATH: writes the file's pages out and drops them from the page
# cache, so that a scan of it is paced by the disk: a scan of a cached file
# can end before a script has watched it.
uncache() {
    python3 - "$1" <<'PY' || fail "could not drop $1 from the page cache"
import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.fsync(fd)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
os.close(fd)
PY
}

# make_large PATH MIB: a log of MIB mebibytes in 1 MiB blocks of numbered lines.
make_large() {
    local path="$1" mib="$2"
    local want=$((mib * 1048576))
    if [ -f "$path" ] && [ "$(stat -c %s "$path")" = "$want" ]; then return 0; fi
    python3 - "$path" "$mib" <<'PY' || fail "could not write $path"
import sys
path, mib = sys.argv[1], int(sys.argv[2])
lines, size, i = [], 0, 0
while True:
    line = ("2024-05-01 12:%02d:%02d [INFO] worker-%d 请求 %06d 已处理，耗时 %d ms\r\n"
            % (i // 60 % 60, i % 60, i % 8, i, i % 97)).encode()
    if size + len(line) > 1048576:
        break
    lines.append(line); size += len(line); i += 1
block = b"".join(lines)
block += b"#" * (1048574 - len(block)) + b"\r\n"
with open(path, "wb") as f:
    for _ in range(mib):
        f.write(block)
PY
}
