#!/usr/bin/env bash
# The project's test command: sets up the machine, builds the native and the
# Windows builds, runs the native tests (plain and under ASan+UBSan), the fuzz
# targets briefly, the Windows tests under Wine on a private Xvfb, and the
# end-to-end scripts tests/e2e/*.sh. The last line is "tests: N passed, M failed".
# The sanitizer build, its tests and the fuzz targets run at low priority
# beside the Wine stages, which spend most of their time waiting for windows.
#
#   bash scripts/test.sh                  everything
#   bash scripts/test.sh --e2e [NAME...]  set-up, the Windows build and the
#                                         end-to-end scripts only (NAME: a
#                                         script's name, with or without .sh)
#
# Environment knobs: TOMEVIEW_BUILD_ROOT (default build/), TOMEVIEW_FUZZ_SECONDS
# (default 20 per target), TOMEVIEW_E2E_TIMEOUT (default 600 s per script),
# TOMEVIEW_JOBS (default 2). ccache is used when installed.
set -uo pipefail
export LC_COLLATE=C

mode=all
e2e_names=()
case "${1:-}" in
"") ;;
--e2e) mode=e2e; shift; e2e_names=("$@") ;;
*)
    echo "usage: bash scripts/test.sh [--e2e [NAME...]]" >&2
    exit 2
    ;;
esac

src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${TOMEVIEW_BUILD_ROOT:-$src/build}"
export TOMEVIEW_BUILD_ROOT="$root"
jobs="${TOMEVIEW_JOBS:-2}"
fuzz_seconds="${TOMEVIEW_FUZZ_SECONDS:-20}"
e2e_timeout="${TOMEVIEW_E2E_TIMEOUT:-600}"
native="$root/native"
win="$root/win"
san="$root/sanitize"
results="$root/test-results"

passed=0
failed=0
report=()
lane_pid=""

note() { printf '\n=== %s (at %d:%02d)\n' "$*" $((SECONDS / 60)) $((SECONDS % 60)); }
fail_step() { failed=$((failed + 1)); report+=("FAILED  $1"); }
pass_step() { passed=$((passed + 1)); report+=("ok      $1"); }

finish() {
    printf '\n=== Summary (%d:%02d)\n' $((SECONDS / 60)) $((SECONDS % 60))
    local line
    for line in "${report[@]}"; do printf '%s\n' "$line"; done
    printf 'tests: %d passed, %d failed\n' "$passed" "$failed"
    [ "$failed" = 0 ]
    exit
}

# GoogleTest XML: prints "cases failed skipped".
count_gtest_xml() {
    awk '
        /<testcase / { inside = 1; bad = 0; skip = ($0 ~ /result="skipped"/) }
        inside && /<failure/ { bad = 1 }
        inside && (/<testcase .*\/>[[:space:]]*$/ || /<\/testcase>/) {
            n++; if (bad) f++; else if (skip) s++; inside = 0
        }
        END { printf "%d %d %d\n", n, f, s }
    ' "$1"
}

# run_ctest LABEL BUILD_DIR RESULT_DIR GTEST_OUTPUT_DIR
# Runs ctest with GoogleTest writing XML; counts the test cases. A test
# program that fails without a failing case (crash, timeout, leak report at
# exit) counts as one more failure.
run_ctest() {
    local label="$1" dir="$2" out="$3" gout="$4"
    rm -rf "$out"; mkdir -p "$out"
    rm -f "$dir/Testing/Temporary/LastTestsFailed.log"
    local names
    names="$(ctest --test-dir "$dir" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')"
    if [ -z "$names" ]; then
        echo "($label: no tests in this tree yet)"
        return 0
    fi
    GTEST_OUTPUT="xml:$gout" ctest --test-dir "$dir" --output-on-failure --timeout 1200
    local failedlog="$dir/Testing/Temporary/LastTestsFailed.log"
    local name
    for name in $names; do
        local xml="$out/$name.xml"
        local ctest_failed=0
        grep -qs ":$name\$" "$failedlog" && ctest_failed=1
        if [ -f "$xml" ]; then
            local n f s
            read -r n f s < <(count_gtest_xml "$xml")
            passed=$((passed + n - f - s))
            failed=$((failed + f))
            report+=("$(printf '%-7s %s %s: %d cases, %d failed, %d skipped' \
                "$([ "$f" = 0 ] && [ $ctest_failed = 0 ] && echo ok || echo FAILED)" "$label" "$name" "$n" "$f" "$s")")
            if [ $ctest_failed = 1 ] && [ "$f" = 0 ]; then
                fail_step "$label $name: exited with failure after its cases (see its output above)"
            fi
        else
            fail_step "$label $name: crashed or timed out before reporting (see its output above)"
        fi
    done
}

cleanup() {
    if [ -n "$lane_pid" ]; then kill -- -"$lane_pid" 2>/dev/null; wait "$lane_pid" 2>/dev/null; fi
    if [ -n "${WINE:-}" ]; then tv_wine_stop; fi
    if declare -F tv_xvfb_stop >/dev/null; then tv_xvfb_stop; tv_cups_stop; fi
}
trap cleanup EXIT
trap 'echo "interrupted"; exit 130' INT TERM

# Set-up ---------------------------------------------------------------------
note "Set-up"
if ! bash "$src/scripts/setup.sh"; then
    fail_step "set-up (scripts/setup.sh)"
    finish
fi
unset WINEPREFIX DISPLAY
# shellcheck source=wine-env.sh
source "$src/scripts/wine-env.sh"
# Compiler results are shared between clones (paths are taken relative to the source).
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1
fi

# Builds ---------------------------------------------------------------------
# build DIR LABEL [cmake args] -- [targets]
build() {
    local dir="$1" label="$2"; shift 2
    local args=() targets=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    targets=("$@")
    note "Build: $label"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$src" -B "$dir" -G Ninja "${args[@]}" || return 1
    fi
    # Keep going past a failing target, so that the tests which do build still run.
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j "$jobs" --target "${targets[@]}" -- -k 0
    else
        cmake --build "$dir" -j "$jobs" -- -k 0
    fi
}
configured() { [ -f "$1/build.ninja" ]; }

# The end-to-end scripts use the native tests too.
build "$native" "native" || fail_step "native build"
build "$win" "Windows (mingw-w64)" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" ||
    fail_step "Windows build"

# Native tests -----------------------------------------------------------------
if [ $mode = all ] && configured "$native"; then
    note "Native tests"
    run_ctest native "$native" "$results/native" "$results/native/"
fi

# Sanitizers and fuzzers: one clang build with ASan+UBSan; the fuzz targets
# link libFuzzer, the tests link the sanitizers only. Runs as a lane of its
# own; its counts and report lines go to files that finish_lane adds.
sanitizer_lane() {
    passed=0 failed=0 report=()
    if ! build "$san" "ASan+UBSan and fuzz targets (clang)" \
            -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOMEVIEW_FUZZ=ON \
            -- all_tests all_fuzzers; then
        fail_step "sanitizer/fuzz build"
    fi
    if configured "$san"; then
        note "Native tests under ASan+UBSan"
        ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}" \
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
            run_ctest asan "$san" "$results/asan" "$results/asan/"

        shopt -s nullglob
        local fuzz_sources=("$src"/tests/fuzz/*.cpp) f
        shopt -u nullglob
        if [ ${#fuzz_sources[@]} -gt 0 ]; then
            note "Fuzz targets, ${fuzz_seconds} s each"
        fi
        for f in "${fuzz_sources[@]}"; do
            local name corpus artifacts seeds log rc runs
            name="$(basename "$f" .cpp)"
            corpus="$san/fuzz-corpus/$name"
            artifacts="$san/fuzz-artifacts/$name/"
            mkdir -p "$corpus" "$artifacts"
            seeds=()
            [ -d "$src/tests/fuzz/corpus/$name" ] && seeds=("$src/tests/fuzz/corpus/$name")
            log="$san/fuzz-$name.log"
            echo "fuzz $name"
            timeout -k 10 $((fuzz_seconds + 120)) "$san/$name" -max_total_time="$fuzz_seconds" \
                -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
                -artifact_prefix="$artifacts" "$corpus" "${seeds[@]}" >"$log" 2>&1
            rc=$?
            runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
            if [ $rc = 0 ]; then
                pass_step "fuzz $name: ${runs:-?} runs, no finding"
            else
                tail -40 "$log"
                fail_step "fuzz $name: exit $rc, see $log and $artifacts"
            fi
        done
    fi
    printf '%d %d\n' "$passed" "$failed" >"$results/lane.counts"
    printf '%s\n' "${report[@]}" >"$results/lane.report"
}

# finish_lane: waits for the sanitizer lane, shows its output and adds its results.
finish_lane() {
    [ -n "$lane_pid" ] || return 0
    local start=$SECONDS
    wait "$lane_pid"
    lane_pid=""
    note "Sanitizer lane (waited $((SECONDS - start)) s for it; its output follows)"
    cat "$results/lane.log"
    local p=0 f=0 line
    if [ -f "$results/lane.counts" ]; then
        read -r p f <"$results/lane.counts"
        while IFS= read -r line; do [ -n "$line" ] && report+=("$line"); done <"$results/lane.report"
    else
        f=1
        report+=("FAILED  sanitizer lane: ended without results (see above)")
    fi
    passed=$((passed + p))
    failed=$((failed + f))
}

if [ $mode = all ]; then
    mkdir -p "$results"
    rm -f "$results/lane.counts" "$results/lane.report"
    # Its own process group, so that an interrupted run ends all of it.
    set -m
    (
        trap - EXIT INT TERM
        lane_pid=""
        exec </dev/null
        renice -n 10 "$BASHPID" >/dev/null 2>&1
        sanitizer_lane
    ) >"$results/lane.log" 2>&1 &
    lane_pid=$!
    set +m
    echo "(the sanitizer build, its tests and the fuzz targets run beside the Wine stages: $results/lane.log)"
fi

# Windows tests and end-to-end scripts under Wine --------------------------------
shopt -s nullglob
e2e_scripts=()
for f in "$src"/tests/e2e/*.sh; do
    if [ ${#e2e_names[@]} -gt 0 ]; then
        picked=0
        for n in "${e2e_names[@]}"; do
            [ "$(basename "$f" .sh)" = "$(basename "$n" .sh)" ] && picked=1
        done
        [ $picked = 1 ] || continue
    fi
    if [ -x "$f" ]; then e2e_scripts+=("$f"); else echo "(skipping ${f#"$src"/}: not executable)"; fi
done
shopt -u nullglob
if [ ${#e2e_names[@]} -gt 0 ] && [ ${#e2e_scripts[@]} -lt ${#e2e_names[@]} ]; then
    fail_step "e2e: no script for some of: ${e2e_names[*]}"
fi

# The decoding and cutting tests of core_tests once more with the ANSI code
# page 65001 (Windows' "use Unicode UTF-8"), where no byte is a lead byte.
# The other tests expect 936.
utf8_acp_tests="StandinCompare.AnsiCodePageIsTheOneAsked:Boundary.PiecewiseDecodingMatchesWholeDecoding"
utf8_acp_tests+=":Decode.AsciiTextDecodesAsThePlatformDoes:ConvertTest.BoundedPiecesMatchWholeBlocks"
utf8_acp_tests+=":ConvertTest.FastPathsGiveThePlatformBytes:LongLines.*:LineSource.*:Hostile.RandomBinary"
run_utf8_acp() {
    local dir="$win/acp65001" out="$results/win-acp65001" n f s rc
    note "Windows core_tests at ANSI code page 65001"
    rm -rf "$out"
    mkdir -p "$out"
    if ! tv_utf8_acp_copy "$win/core_tests.exe" "$dir"; then
        fail_step "wine core_tests at code page 65001: no test program"
        return
    fi
    (cd "$dir" && TOMEVIEW_ACP=65001 timeout -k 10 1200 "$WINE" core_tests.exe --gtest_filter="$utf8_acp_tests" \
        --gtest_output="xml:$(tv_winpath "$out/core_tests.xml")" </dev/null)
    rc=$?
    tv_wine_stop
    if [ -f "$out/core_tests.xml" ]; then
        read -r n f s < <(count_gtest_xml "$out/core_tests.xml")
        passed=$((passed + n - f - s))
        failed=$((failed + f))
        report+=("$(printf '%-7s wine core_tests at code page 65001: %d cases, %d failed, %d skipped' \
            "$([ "$f" = 0 ] && [ $rc = 0 ] && echo ok || echo FAILED)" "$n" "$f" "$s")")
        [ $rc = 0 ] || [ "$f" != 0 ] || fail_step "wine core_tests at code page 65001: exit $rc after its cases"
    else
        fail_step "wine core_tests at code page 65001: crashed or timed out before reporting"
    fi
}

if configured "$win"; then
    note "Windows tests under Wine"
    if ! tv_xvfb_start; then
        fail_step "Xvfb"
        finish_lane
        finish
    fi
    echo "Xvfb on $DISPLAY (pid $TV_XVFB_PID), prefix $WINEPREFIX"
    # Wine lists the printers when it starts, so CUPS comes first.
    if ! tv_cups_ensure; then
        echo "(printing is not available: CUPS did not start)"
    fi
    if [ $mode = all ]; then
        run_ctest wine "$win" "$results/win" "$(tv_winpath "$results/win")\\"
        tv_wine_stop
        run_utf8_acp
    fi

    if [ ${#e2e_scripts[@]} -gt 0 ]; then
        note "End-to-end scripts"
        export TOMEVIEW_EXE="$win/tomeview.exe" TOMEVIEW_BUILD="$win" TOMEVIEW_SOURCE="$src"
        export TOMEVIEW_NATIVE_BUILD="$native"
        export DISPLAY WINEPREFIX WINE WINESERVER LANG WINEDEBUG
        for f in "${e2e_scripts[@]}"; do
            rel="${f#"$src"/}"
            echo "--- $rel"
            start=$SECONDS
            log="$results/e2e-$(basename "$f" .sh).log"
            mkdir -p "$results"
            # Into a file, not a pipe: Wine's daemons would hold a pipe open.
            (cd "$src" && timeout -k 10 "$e2e_timeout" "$f" </dev/null) >"$log" 2>&1
            rc=$?
            cat "$log"
            # No Wine process of one script outlives it.
            tv_wine_stop
            if [ $rc = 0 ]; then
                pass_step "e2e $rel ($((SECONDS - start)) s)"
            elif [ $rc = 124 ]; then
                fail_step "e2e $rel: timed out after $e2e_timeout s"
            else
                # The summary may be all a reader gets: it carries the reason.
                why="$(grep -a 'FAIL' "$log" | tail -n 1 | cut -c 1-300)"
                fail_step "e2e $rel: exit $rc${why:+ ($why)}"
            fi
        done
    fi
elif [ ${#e2e_scripts[@]} -gt 0 ]; then
    fail_step "e2e scripts not run: the Windows build could not be configured"
fi

finish_lane
finish
