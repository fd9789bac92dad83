#!/usr/bin/env bash
# Runs every benchmark in one go on this machine and prints their figures
# (ours, peer, ratio, target, peak memory) together at the end.
#   TOMEVIEW_BENCH_DATA   folder for the shared big files (default build/bench-data);
#                         files already there are reused
#   TOMEVIEW_BENCH_BUILD  native Release build (default build/bench-native)
#   TOMEVIEW_BENCH_WIN    Windows build (default build/bench-win)
#   --clean               delete the generated data folder afterwards
set -uo pipefail
cd "$(dirname "$0")/.."
clean=0
for a in "$@"; do
    case "$a" in
        --clean) clean=1 ;;
        *) echo "usage: bench/run_all.sh [--clean]" >&2; exit 2 ;;
    esac
done
export TOMEVIEW_BENCH_DATA=${TOMEVIEW_BENCH_DATA:-build/bench-data}
export TOMEVIEW_BENCH_BUILD=${TOMEVIEW_BENCH_BUILD:-$PWD/build/bench-native}
WIN=${TOMEVIEW_BENCH_WIN:-build/bench-win}
mkdir -p "$TOMEVIEW_BENCH_DATA"
log="$TOMEVIEW_BENCH_DATA/run_all.log"
: >"$log"

echo "building native Release ($TOMEVIEW_BENCH_BUILD) and Windows ($WIN) ..." >&2
cmake -S . -B "$TOMEVIEW_BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null &&
    cmake --build "$TOMEVIEW_BENCH_BUILD" -j2 >/dev/null || { echo "native build failed" >&2; exit 1; }
cmake -S . -B "$WIN" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null &&
    cmake --build "$WIN" -j2 >/dev/null || { echo "Windows build failed" >&2; exit 1; }

status=0
run() {  # $1 title, rest: command
    local title=$1; shift
    echo "===== $title" | tee -a "$log"
    if ! nice "$@" 2>&1 | tee -a "$log"; then
        echo "FAILED: $title" | tee -a "$log"; status=1
    fi
}
run "index (Open vs wc -l)"        bash bench/bench_index.sh
run "find (vs grep -c / grep -Fic)" bash bench/bench_find.sh
run "convert (vs iconv)"           bash bench/bench_convert.sh
run "paint (Windows, Wine)"        bash bench/bench_paint.sh "$WIN"
TOMEVIEW_EXE="$PWD/$WIN/tomeview.exe" TOMEVIEW_BENCH_FILE="$TOMEVIEW_BENCH_DATA/open_2g.txt" \
    run "open (Wine, vs wc -l)"        bash bench/bench_open.sh

echo
echo "================ summary (ratios measured in this run) ================"
grep -E '^=====|ratio|peak|target|FAILED' "$log"

if [ "$clean" = 1 ]; then rm -rf "$TOMEVIEW_BENCH_DATA"; fi
exit $status
