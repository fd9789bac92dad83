#!/usr/bin/env bash
# Count of regular expressions on the >= 2.15 GB UTF-8 log: natively
# (regex_bench) and in tomeview.exe under Wine through its Find dialog with
# 正则表达式(R) ticked (count_driver_win.exe, timed from the click to the
# final status text), against LC_ALL=C grep -E -c and rg --count-matches on
# the same cached file in the same run (outputs go to a file: to /dev/null
# grep stops at the first match). Patterns: a literal with a number, one
# anchored at the line start (a date in a given minute), an alternation of
# words, one with Chinese text, one ignoring case. grep -c counts lines,
# ripgrep and we count matches (none of these patterns matches twice in a
# line): the three counts are printed side by side.
# Ratio = peer time / our time; targets for the exe: >= 1.0 x grep -E -c,
# >= 0.5 x rg --count-matches.
#   bench/bench_regex.sh [runs]          (default TOMEVIEW_BENCH_RUNS, 3)
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
runs="${1:-$TV_BENCH_RUNS}"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
command -v rg >/dev/null 2>&1 || {
    echo "bench_regex: installing ripgrep" >&2
    export DEBIAN_FRONTEND=noninteractive
    # The package lists may be missing or old on a new machine.
    as_root apt-get install -y -q ripgrep >/dev/null ||
        { as_root apt-get update -q >/dev/null && as_root apt-get install -y -q ripgrep >/dev/null; }
}
tv_bench_native regex_bench
tv_bench_win tomeview count_driver_win
exe="$TV_BENCH_WIN/tomeview.exe"
file="$(tv_bench_file log-utf8)"
out_file="$(mktemp)"
trap 'rm -f "$out_file"; tv_bench_wine_stop' EXIT
tv_bench_wine_start

# label | ours (re: matching case, rei: ignoring case) | grep -E flags
patterns=(
    "literal and number|re:handled in [0-9]+ ms|"
    "anchored date, one minute|re:^2024-05-0[1-9] [0-9][0-9]:33:|"
    "alternation of words|re:timeout|refused|denied|"
    "Chinese text|re:超时，正在第 [0-9]+ 次|"
    "ignoring case|rei:timeout after [0-9]+|-i"
)
queries=()
for p in "${patterns[@]}"; do
    q="${p#*|}"          # drop the label
    queries+=("${q%|*}")  # and the grep flags
done

cat "$file" >/dev/null  # into the page cache
"$TV_BENCH_NATIVE/regex_bench" "$file" "$runs" "${queries[@]}" >"$out_file" || {
    echo "bench_regex: the native count failed" >&2
    exit 1
}
native=$(cat "$out_file")
"$WINE" "$TV_BENCH_WIN/count_driver_win.exe" "$(tv_winpath "$exe")" "$(tv_winpath "$file")" "$runs" "${queries[@]}" \
    | tr -d '\r' >"$out_file" || { echo "bench_regex: the driver failed" >&2; exit 1; }
app=$(cat "$out_file")
app_peak=$(sed -n 's/^peak_mib=//p' <<<"$app")
val() {  # output, index, key
    echo "$1" | awk -v i="index=$2" -v k="$3=" '$1 == "count" {
        hit = 0; v = ""
        for (f = 2; f <= NF; f++) { if ($f == i) hit = 1; if (index($f, k) == 1) v = substr($f, length(k) + 1) }
        if (hit) print v }'
}

echo "count of regular expressions, $file, $(($(stat -c %s "$file") / 1048576)) MiB, best of $runs runs"
for k in "${!patterns[@]}"; do
    printf '  %-28s %s%s\n' "${patterns[$k]%%|*}" "${queries[$k]#*:}" "$([ "${queries[$k]%%:*}" = rei ] && echo '  (ignoring case)')"
done
printf '  %-28s %8s %8s %8s %8s %8s %8s %9s %9s %9s\n' "" "exe s" "native s" "grep s" "rg s" "exe/grep" "exe/rg" \
    "ours" "rg" "grep -c"
ok=1
for k in "${!patterns[@]}"; do
    label="${patterns[$k]%%|*}"
    flags="${patterns[$k]##*|}"
    pat="${queries[$k]#*:}"
    # shellcheck disable=SC2086
    g=$(tv_bench_best "$runs" env LC_ALL=C grep -E $flags -c -- "$pat" "$file")
    # shellcheck disable=SC2086
    r=$(tv_bench_best "$runs" rg $flags --count-matches -- "$pat" "$file")
    # shellcheck disable=SC2086
    gc=$(LC_ALL=C grep -E $flags -c -- "$pat" "$file")
    # shellcheck disable=SC2086
    rc=$(rg $flags --count-matches -- "$pat" "$file")
    e=$(val "$app" "$k" seconds) n=$(val "$native" "$k" seconds)
    m=$(val "$app" "$k" matches)
    [ "$m" = "$(val "$native" "$k" matches)" ] && [ "$m" = "$rc" ] || ok=0
    printf '  %-28s %8.3f %8.3f %8.3f %8.3f %8s %8s %9s %9s %9s\n' "$label" "$e" "$n" "$g" "$r" \
        "$(awk -v a="$g" -v b="$e" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="$r" -v b="$e" 'BEGIN { printf "%.2f", a / b }')" "$m" "$rc" "$gc"
    tv_bench_result "regex count in tomeview.exe under Wine, $label" "$e" "$g" "grep -E -c, LC_ALL=C" s ">=1.0" \
        "$app_peak"
    tv_bench_result "regex count in tomeview.exe under Wine, $label" "$e" "$r" "rg --count-matches" s ">=0.5" \
        "$app_peak"
    tv_bench_result "regex count, native core, $label" "$n" "$r" "rg --count-matches" s - -
done
[ $ok = 1 ] || echo "MISMATCH: our counts differ between the program and the core, or from ripgrep's" >&2
[ $ok = 1 ]
