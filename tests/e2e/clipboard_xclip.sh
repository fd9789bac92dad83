#!/bin/bash
# Copy from the running program reaches the X clipboard: open a file with
# mixed line ends and Chinese text, Ctrl+A and Ctrl+C in the text pane, and
# read the clipboard back from the X side with xclip. Wine hands CR LF to X
# as LF when it exports Unicode text; every other unit arrives unchanged.
set -euo pipefail
src="${TOMEVIEW_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}"
exe="${TOMEVIEW_EXE:-}"
for d in "$src/build/win" "$src/build/find-win"; do
    [ -z "$exe" ] && [ -f "$d/tomeview.exe" ] && exe="$d/tomeview.exe"
done
[ -n "$exe" ] && [ -f "$exe" ] || { echo "clipboard_xclip: no tomeview.exe" >&2; exit 1; }
for tool in xdotool xclip; do
    command -v "$tool" >/dev/null || { echo "clipboard_xclip: $tool missing" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "clipboard_xclip: no DISPLAY" >&2; exit 1; }
[ -f "$src/scripts/wine-env.sh" ] && source "$src/scripts/wine-env.sh"
WINE="${WINE:-/usr/lib/wine/wine64}"

work=$(mktemp -d /tmp/tv_clip.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

name="clip_$$.txt"
file="$work/$name"
printf 'first 中文 line\r\nsecond\tTAB\nthird\rlast 尾行 ☃' >"$file"
expected=$(printf 'first 中文 line\nsecond\tTAB\nthird\rlast 尾行 ☃' | od -An -tx1)

# Something else on the clipboard first, so a stale result cannot pass.
printf 'before' | xclip -selection clipboard
winpath="Z:${file//\//\\}"
"$WINE" "$exe" "$winpath" >/dev/null 2>&1 &
pid=$!

win=""
for _ in $(seq 1 100); do
    win=$(xdotool search --name "$name" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || { echo "clipboard_xclip: the window did not appear" >&2; exit 1; }
sleep 1
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
xdotool key --window "$win" ctrl+a
sleep 0.3
xdotool key --window "$win" ctrl+c

got=""
for _ in $(seq 1 50); do
    got=$(timeout 5 xclip -o -selection clipboard 2>/dev/null | od -An -tx1 || true)
    [ "$got" = "$expected" ] && break
    sleep 0.2
done
if [ "$got" != "$expected" ]; then
    echo "clipboard_xclip: clipboard holds"
    echo "$got"
    echo "expected"
    echo "$expected"
    exit 1
fi
echo "clipboard_xclip: the X clipboard holds the selected text"
