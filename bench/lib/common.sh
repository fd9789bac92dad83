# Helpers shared by the benchmark scripts. Source it (bash) before any cd:
#   source "$(dirname "$0")/lib/common.sh"
# Environment:
#   TOMEVIEW_BENCH_DATA   folder of the generated files (default build/bench-data);
#                         files already there are reused
#   TOMEVIEW_BENCH_BUILD  native Release build (default build/bench-native)
#   TOMEVIEW_BENCH_WIN    Windows Release build (default build/bench-win)
#   TOMEVIEW_BENCH_RUNS   repetitions of each timed run (default 3; the shortest counts)
# Defines:
#   tv_bench_native TARGET...   build native targets (configures the build when missing)
#   tv_bench_win TARGET...      the same for the Windows build
#   tv_bench_file NAME          print the path of a data file, generating it when missing
#   tv_bench_best N CMD...      run CMD N times, print the shortest wall time in seconds
#   tv_bench_peak OUT CMD...    run CMD, its stdout to OUT; print its peak memory in MiB
#   tv_bench_result FIGURE OURS PEER PEER_NAME UNIT TARGET PEAK
#                               print a result line (see below)
#
# Result lines, one per figure, for bench/run_all.sh:
#   RESULT|figure|ours|peer|peer tool|ratio|target|peak MiB
# ours and peer carry their unit; ratio is peer / ours, so above 1 means we
# take less time than the peer; target is a lower bound such as ">=0.4" or "-".

TV_BENCH_SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tv_bench_abs() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
TV_BENCH_DATA="$(tv_bench_abs "${TOMEVIEW_BENCH_DATA:-$TV_BENCH_SRC/build/bench-data}")"
TV_BENCH_NATIVE="$(tv_bench_abs "${TOMEVIEW_BENCH_BUILD:-$TV_BENCH_SRC/build/bench-native}")"
TV_BENCH_WIN="$(tv_bench_abs "${TOMEVIEW_BENCH_WIN:-$TV_BENCH_SRC/build/bench-win}")"
TV_BENCH_RUNS="${TOMEVIEW_BENCH_RUNS:-3}"
TV_BENCH_JOBS="${TOMEVIEW_JOBS:-2}"

tv_bench_build() {  # $1 build folder, $2 extra configure argument or "", targets...
    local dir="$1" extra="$2" log
    shift 2
    if [ ! -f "$dir/build.ninja" ]; then
        # shellcheck disable=SC2086
        if ! log=$(cmake -S "$TV_BENCH_SRC" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
                -DTOMEVIEW_TESTS=OFF $extra 2>&1); then
            echo "$log" >&2
            return 1
        fi
    fi
    if ! log=$(cmake --build "$dir" -j "$TV_BENCH_JOBS" --target "$@" 2>&1); then
        echo "$log" | tail -40 >&2
        return 1
    fi
}
tv_bench_native() { tv_bench_build "$TV_BENCH_NATIVE" "" "$@"; }
tv_bench_win() {
    tv_bench_build "$TV_BENCH_WIN" "-DCMAKE_TOOLCHAIN_FILE=$TV_BENCH_SRC/cmake/mingw-w64.cmake" "$@"
}

# A file is reused while its stamp names the generator that wrote it.
tv_bench_file() {
    local name="$1" path="$TV_BENCH_DATA/$1.txt" stamp="$TV_BENCH_DATA/.$1.stamp" want lockfd
    want="$(cksum <"$TV_BENCH_SRC/bench/lib/make_data.py")"
    mkdir -p "$TV_BENCH_DATA"
    exec {lockfd}>"$TV_BENCH_DATA/.lock"
    flock "$lockfd"
    if [ ! -f "$path" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$want" ]; then
        echo "generating $path ..." >&2
        rm -f "$stamp"
        if ! python3 "$TV_BENCH_SRC/bench/lib/make_data.py" "$TV_BENCH_DATA" "$name"; then
            exec {lockfd}>&-
            echo "could not generate $path" >&2
            return 1
        fi
        printf '%s\n' "$want" >"$stamp"
    fi
    exec {lockfd}>&-
    printf '%s\n' "$path"
}

# The output goes to a file: GNU grep stops at the first match when its output
# is /dev/null.
tv_bench_best() {
    local n="$1" best="" s e k out
    shift
    out="$(mktemp)"
    for ((k = 0; k < n; k++)); do
        s=$(date +%s.%N)
        "$@" >"$out"
        e=$(date +%s.%N)
        best=$(awk -v s="$s" -v e="$e" -v b="$best" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
    done
    rm -f "$out"
    printf '%s\n' "$best"
}

tv_bench_peak() {
    local out="$1" m
    shift
    m="$(mktemp)"
    if ! /usr/bin/time -f %M -o "$m" "$@" >"$out"; then
        rm -f "$m"
        return 1
    fi
    awk '{ v = $1 } END { printf "%.1f\n", v / 1024 }' "$m"
    rm -f "$m"
}

tv_bench_result() {
    awk -v f="$1" -v o="$2" -v p="$3" -v pn="$4" -v u="$5" -v t="$6" -v m="$7" 'BEGIN {
        r = (o + 0 > 0 && p != "-") ? sprintf("%.2f", p / o) : "-"
        fmt = (u == "ms" || u == "us" || u == "ns") ? "%.2f %s" : "%.3f %s"
        ours = sprintf(fmt, o, u)
        peer = (p == "-") ? "-" : sprintf(fmt, p, u)
        printf "RESULT|%s|%s|%s|%s|%s|%s|%s\n", f, ours, peer, pn, r, t, m
    }'
}

# Wine with this tree's own prefix (build/wineprefix) and an Xvfb of our own on
# a free display; tv_bench_wine_stop ends both (only ours, by prefix and pid).
tv_bench_wine_start() {
    unset WINEPREFIX DISPLAY
    # shellcheck source=../../scripts/wine-env.sh
    source "$TV_BENCH_SRC/scripts/wine-env.sh"
    tv_prefix_ensure || return 1
    tv_xvfb_start || return 1
}
tv_bench_wine_stop() {
    tv_wine_stop
    tv_xvfb_stop
}
