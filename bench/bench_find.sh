#!/usr/bin/env bash
# Find engine against grep on the >= 2.15 GB log in each encoding (UTF-8,
# UTF-16 LE, UTF-16 BE, GBK as ANSI), grep reading the same file in the same run:
#   count ignoring case      vs  LC_ALL=C grep -Fic TIMEOUT (UTF-8: also in C.UTF-8)
#   count matching case      vs  grep -c TIMEOUT
#   find next across file    vs  grep -c (a text only on the last line)
#   find previous across     vs  grep -c (a text only on the first line; UTF-8 only)
# On the UTF-8 log, a count ignoring case of a frequent word ("worker", 1.09
# matches a line) vs LC_ALL=C grep -Fic worker, beside counts of TIMEOUT
# (0.27 a line) and of a text found once: the cost of a match is the time the
# extra matches add, (t worker - t TIMEOUT) / (matches worker - matches TIMEOUT),
# and the count of the frequent word is compared with the count of the text
# found once (ratio: its time / the frequent word's time).
# And, on 8 MiB of lines of 999 '=', find next of 1000 '=' ignoring case (no
# line holds it, every byte starts a candidate) vs grep -Fic.
# Prints times and ratios (grep time / engine time: above 1 means faster
# than grep), each the shortest of TOMEVIEW_BENCH_RUNS runs (default 3), and
# the engine's peak memory. grep cannot search UTF-16 (it reads such a file as
# binary, twenty times slower than text), so the peer of the UTF-16 files is
# grep on the UTF-8 log, a file of the same size.
#   bench/bench_find.sh
# Environment: see bench/lib/common.sh.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"

tv_bench_native find_bench
out_file="$(mktemp)"
eq_file="$(mktemp)"
trap 'rm -f "$out_file" "$eq_file"' EXIT
runs="$TV_BENCH_RUNS"
u8() { LC_ALL=C.UTF-8 "$@"; }
bytes() { LC_ALL=C "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ok=1
ref_fic="" ref_c=""

one() {  # label, data name, ops, peer data name
    local label=$1 file pfile engine peak g_fic g_fic_u8="" g_c g_end g_start="" last
    file="$(tv_bench_file "$2")"
    pfile="$(tv_bench_file "$4")"
    cat "$file" "$pfile" >/dev/null  # into the page cache
    echo "== $label: $file, $(($(stat -c %s "$file") / 1048576)) MiB; grep on $(basename "$pfile")"
    # grep in a UTF-8 locale folds case by character, as the engine does; in the
    # C locale it folds bytes only, which is faster: the C locale is the target.
    g_fic=$(tv_bench_best "$runs" bytes grep -Fic TIMEOUT "$pfile")
    g_c=$(tv_bench_best "$runs" bytes grep -c TIMEOUT "$pfile")
    g_end=$(tv_bench_best "$runs" bytes grep -c NEEDLE-AT-END "$pfile")
    if [ "$2" = log-utf8 ]; then
        g_fic_u8=$(tv_bench_best "$runs" u8 grep -Fic TIMEOUT "$file")
        g_start=$(tv_bench_best "$runs" bytes grep -c NEEDLE-AT-START "$file")
    fi
    peak=$(tv_bench_peak "$out_file" "$TV_BENCH_NATIVE/find_bench" "$file" TIMEOUT NEEDLE-AT-END NEEDLE-AT-START \
        "$runs" "$3")
    engine=$(cat "$out_file")
    val() { echo "$engine" | awk -v k="$1" '$1 == k { print $2 }'; }
    res() { echo "$engine" | awk -v k="$1" '$1 == k { print $3 }'; }
    row() { printf '   %-28s %9.3f %9.3f %7s  %s\n' "$1" "$(val "$2")" "$3" "$(ratio "$3" "$(val "$2")")" "$4"; }
    printf '   %-28s %9s %9s %7s  %s\n' "operation" "engine s" "peer s" "ratio" "peer"
    row "count, ignoring case" count_ignore_case "$g_fic" "LC_ALL=C grep -Fic TIMEOUT"
    [ -n "$g_fic_u8" ] && row "count, ignoring case" count_ignore_case "$g_fic_u8" "C.UTF-8 grep -Fic TIMEOUT"
    row "count, matching case" count_match_case "$g_c" "grep -c TIMEOUT"
    row "find next across the file" find_next_across "$g_end" "grep -c NEEDLE-AT-END"
    [ -n "$g_start" ] && row "find previous across" find_previous_across "$g_start" "grep -c NEEDLE-AT-START"
    echo "   counts: $(res count_ignore_case) ignoring case, $(res count_match_case) matching case;" \
        "found $(res find_next_across)"
    # The counts and the found line agree with grep's on the same text in
    # UTF-8 (one occurrence per line at most there); UTF-16 BE holds the
    # lines of UTF-16 LE.
    if [ "$2" != log-utf16be ]; then
        if [ "$2" = log-utf16le ]; then
            ref_fic=$(iconv -f UTF-16 -t UTF-8 "$file" | bytes grep -Fic TIMEOUT)
            ref_c=$(iconv -f UTF-16 -t UTF-8 "$file" | bytes grep -c TIMEOUT)
        elif [ "$2" = log-gbk ]; then
            ref_fic=$(iconv -f GBK -t UTF-8 "$file" | bytes grep -Fic TIMEOUT)
            ref_c=$(iconv -f GBK -t UTF-8 "$file" | bytes grep -c TIMEOUT)
        else
            ref_fic=$(bytes grep -Fic TIMEOUT "$file")
            ref_c=$(bytes grep -c TIMEOUT "$file")
        fi
    fi
    # The file ends with a line end, so its last line is the empty one after NEEDLE-AT-END.
    last=$(($(echo "$engine" | awk '$1 == "open" { print $3 }') - 1))
    if [ "$(res count_ignore_case)" != "$ref_fic" ] || [ "$(res count_match_case)" != "$ref_c" ] ||
        [ "$(res find_next_across)" != "line:$last" ]; then
        echo "MISMATCH ($label): the engine's counts or found line differ from grep's on the text" >&2
        ok=0
    fi
    if [ -n "$g_start" ] && [ "$(res find_previous_across)" != "line:1" ]; then
        echo "MISMATCH ($label): find previous did not stop on line 1" >&2
        ok=0
    fi
    local sfx=""
    [ "$2" != log-utf8 ] && sfx=", $label"
    local on=""
    [ "$4" != "$2" ] && on=" on UTF-8"
    tv_bench_result "count, ignoring case$sfx" "$(val count_ignore_case)" "$g_fic" "grep -Fic, LC_ALL=C$on" s ">=2" "$peak"
    [ -n "$g_fic_u8" ] &&
        tv_bench_result "count, ignoring case$sfx" "$(val count_ignore_case)" "$g_fic_u8" "grep -Fic, C.UTF-8" s - "$peak"
    tv_bench_result "count, matching case$sfx" "$(val count_match_case)" "$g_c" "grep -c$on" s ">=1.5" "$peak"
    tv_bench_result "FindNext across the file$sfx" "$(val find_next_across)" "$g_end" "grep -c$on" s ">=1" "$peak"
    [ -n "$g_start" ] &&
        tv_bench_result "FindPrevious across the file" "$(val find_previous_across)" "$g_start" "grep -c" s - "$peak"
    return 0
}

count_of() {  # file, text; sets t (seconds, one count), m (matches), peak
    peak=$(tv_bench_peak "$out_file" "$TV_BENCH_NATIVE/find_bench" "$1" "$2" NEEDLE-AT-END NEEDLE-AT-START \
        1 count_ignore_case)
    t=$(awk '$1 == "count_ignore_case" { print $2 }' "$out_file")
    m=$(awk '$1 == "count_ignore_case" { print $3 }' "$out_file")
}
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

# Right after the UTF-8 log's figures: ref_fic is its TIMEOUT count.
frequent() {
    local log8 g_freq t m peak t_freq="" m_freq p_freq t_rare="" m_rare t_once="" m_once ns k
    log8="$(tv_bench_file log-utf8)"
    echo "== frequent word: count ignoring case of worker, TIMEOUT and NEEDLE-AT-END in $log8"
    g_freq=$(tv_bench_best "$runs" bytes grep -Fic worker "$log8")
    # Taken in turns, so that the load of the machine weighs on the three alike.
    for ((k = 0; k < runs; k++)); do
        count_of "$log8" worker; t_freq=$(least "$t_freq" "$t") m_freq=$m p_freq=$peak
        count_of "$log8" TIMEOUT; t_rare=$(least "$t_rare" "$t") m_rare=$m
        count_of "$log8" NEEDLE-AT-END; t_once=$(least "$t_once" "$t") m_once=$m
    done
    ns=$(awk -v f="$t_freq" -v r="$t_rare" -v a="$m_freq" -v b="$m_rare" 'BEGIN { printf "%.2f", (f - r) * 1e9 / (a - b) }')
    printf '   %-28s %9s %9s %7s  %s\n' "operation" "engine s" "peer s" "ratio" "peer"
    printf '   %-28s %9.3f %9.3f %7s  %s\n' "count worker (frequent)" "$t_freq" "$g_freq" "$(ratio "$g_freq" "$t_freq")" \
        "LC_ALL=C grep -Fic worker"
    printf '   %-28s %9.3f %9.3f %7s  %s\n' "count worker (frequent)" "$t_freq" "$t_once" "$(ratio "$t_once" "$t_freq")" \
        "engine, count NEEDLE-AT-END"
    echo "   counts: $m_freq worker, $m_rare TIMEOUT, $m_once NEEDLE-AT-END; count TIMEOUT $t_rare s;" \
        "cost of a match $ns ns"
    # grep -c counts lines; grep -o prints every match.
    if [ "$m_freq" != "$(bytes grep -oiF worker "$log8" | wc -l)" ] || [ "$m_rare" != "$ref_fic" ] || [ "$m_once" != 1 ]; then
        echo "MISMATCH (frequent word): the engine's counts differ from grep's" >&2
        ok=0
    fi
    tv_bench_result "count, ignoring case, frequent word" "$t_freq" "$g_freq" "grep -Fic, LC_ALL=C" s ">=2" "$p_freq"
    tv_bench_result "count, frequent word, vs a text found once" "$t_freq" "$t_once" "ours, found once" s ">=0.7" "$p_freq"
    tv_bench_result "cost of a match (frequent - rare word)" "$ns" - - ns - "$p_freq"
}

one "UTF-8" log-utf8 count_ignore_case,count_match_case,find_next_across,find_previous_across log-utf8
frequent
one "UTF-16 LE" log-utf16le count_ignore_case,count_match_case,find_next_across log-utf8
one "UTF-16 BE" log-utf16be count_ignore_case,count_match_case,find_next_across log-utf8
one "GBK (ANSI)" log-gbk count_ignore_case,count_match_case,find_next_across log-gbk

eq=$(printf '=%.0s' $(seq 1000))
python3 -c 'import sys; sys.stdout.write(("=" * 999 + "\n") * 8400)' >"$eq_file"
echo "== repetitive: $eq_file, 8 MiB of lines of 999 '='; find next of 1000 '=', ignoring case"
g_eq=$(tv_bench_best "$runs" bytes grep -Fic "$eq" "$eq_file")
peak=$(tv_bench_peak "$out_file" "$TV_BENCH_NATIVE/find_bench" "$eq_file" "$eq" "$eq" "$eq" "$runs" find_next_across)
t_eq=$(awk '$1 == "find_next_across" { print $2 }' "$out_file")
printf '   %-28s %9.3f %9.3f %7s  %s\n' "find next, repetitive" "$t_eq" "$g_eq" "$(ratio "$g_eq" "$t_eq")" "grep -Fic"
if [ "$(awk '$1 == "find_next_across" { print $3 }' "$out_file")" != "none:1" ]; then
    echo "MISMATCH (repetitive): the engine found a text no line holds" >&2
    ok=0
fi
tv_bench_result "FindNext, 1000 '=' in lines of 999" "$t_eq" "$g_eq" "grep -Fic, LC_ALL=C" s ">=0.2" "$peak"
[ $ok = 1 ]
