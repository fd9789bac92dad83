#!/bin/bash
# Save As onto a file system that fills up and onto a read-only one: the
# conversion must fail, leave the target as it was and no temporary file.
# Runs the conversion tests natively and under Wine (code page 936) against a
# tiny tmpfs and a read-only tmpfs mounted here. Needs root for mount.
set -euo pipefail
src="${TOMEVIEW_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}"
native="${TOMEVIEW_NATIVE_BUILD:-}"
win="${TOMEVIEW_BUILD:-}"
for d in "$src/build/native" "$src/build/output-native"; do
    [ -z "$native" ] && [ -x "$d/core_tests" ] && native="$d"
done
for d in "$src/build/win" "$src/build/output-win"; do
    [ -z "$win" ] && [ -f "$d/core_tests.exe" ] && win="$d"
done

if [ "$(id -u)" != 0 ]; then echo "save_failures: needs root to mount; skipped"; exit 0; fi

work=$(mktemp -d /tmp/tv_save_fail.XXXXXX)
full="$work/full" ro="$work/ro"
mkdir -p "$full" "$ro"
cleanup() {
    umount "$full" 2>/dev/null || true
    umount "$ro" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mount -t tmpfs -o size=64k tmpfs "$full"
mount -t tmpfs -o size=1m tmpfs "$ro"
echo "old target on the small disk" >"$full/target.txt"
echo "old target on the read-only disk" >"$ro/target.txt"
mount -o remount,ro "$ro"

status=0
filter='ConvertTest.FullOrReadOnlyFileSystemKeepsTarget'
if [ -n "$native" ]; then
    echo "native: $native/core_tests"
    TOMEVIEW_FULL_DIR="$full" TOMEVIEW_READONLY_DIR="$ro" \
        "$native/core_tests" --gtest_filter="$filter" --gtest_also_run_disabled_tests | tail -3
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
else
    echo "save_failures: no native build found" >&2; status=1
fi

if [ -n "$win" ]; then
    [ -f "$src/scripts/wine-env.sh" ] && source "$src/scripts/wine-env.sh" && tv_prefix_ensure
    WINE="${WINE:-/usr/lib/wine/wine64}"
    export WINEDEBUG="${WINEDEBUG:--all}" LANG=zh_CN.UTF-8
    winfull="Z:${full//\//\\}" winro="Z:${ro//\//\\}"
    echo "wine: $win/core_tests.exe"
    TOMEVIEW_FULL_DIR="$winfull" TOMEVIEW_READONLY_DIR="$winro" \
        "$WINE" "$win/core_tests.exe" --gtest_filter="$filter" | tail -3
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
else
    echo "save_failures: no Windows build found" >&2; status=1
fi

# The tests must have seen the disks and left them as they were.
[ "$(cat "$full/target.txt")" = "old target on the small disk" ] || { echo "small disk target changed"; status=1; }
[ "$(ls "$full")" = target.txt ] || { echo "left on the small disk: $(ls "$full")"; status=1; }
[ "$(ls "$ro")" = target.txt ] || { echo "left on the read-only disk: $(ls "$ro")"; status=1; }
exit $status
