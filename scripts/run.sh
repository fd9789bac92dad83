#!/usr/bin/env bash
# Sets up what is missing, builds the Windows program and runs it under Wine:
#   scripts/run.sh [file]
# Without a file it opens a generated sample log (Chinese and English, tabs).
# Uses $DISPLAY when set; otherwise starts a private Xvfb for as long as the
# program runs.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${TOMEVIEW_BUILD_ROOT:-$src/build}"
export TOMEVIEW_BUILD_ROOT="$root"
win="$root/win"

bash "$src/scripts/setup.sh"
unset WINEPREFIX
# shellcheck source=wine-env.sh
source "$src/scripts/wine-env.sh"

if [ ! -f "$src/app/main_entry_win.cpp" ]; then
    echo "run: the program tomeview.exe arrives with the main window (app/main_entry_win.cpp); nothing to run yet." >&2
    exit 1
fi
if [ ! -f "$win/build.ninja" ]; then
    cmake -S "$src" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake"
fi
cmake --build "$win" -j "${TOMEVIEW_JOBS:-2}" --target tomeview

if [ $# -ge 1 ]; then
    file="$1"
    [ -e "$file" ] || { echo "run: no such file: $file" >&2; exit 1; }
    file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
else
    file="$root/sample/sample-log.txt"
    if [ ! -s "$file" ]; then
        mkdir -p "$(dirname "$file")"
        bash "$src/scripts/make-sample-log.sh" 60000 >"$file.part"
        mv "$file.part" "$file"
    fi
fi

started_xvfb=0
cleanup() {
    if [ $started_xvfb = 1 ]; then tv_wine_stop; tv_xvfb_stop; fi
    tv_cups_stop
}
trap cleanup EXIT
if [ "$(id -u)" = 0 ]; then
    tv_cups_ensure || echo "run: printing is not available (CUPS did not start)" >&2
fi
if [ -z "${DISPLAY:-}" ]; then
    tv_xvfb_start
    started_xvfb=1
    echo "run: no DISPLAY; started Xvfb on $DISPLAY (pid $TV_XVFB_PID) until the program ends."
    echo "run: screenshot:  DISPLAY=$DISPLAY import -window root shot.png"
    echo "run: drive it:    DISPLAY=$DISPLAY xdotool search --name Tomeview"
fi
echo "run: $win/tomeview.exe $file"
"$WINE" "$win/tomeview.exe" "$(tv_winpath "$file")"
