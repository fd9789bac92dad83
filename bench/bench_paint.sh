#!/bin/bash
# Paint benchmark of the text view under Wine: time per frame at the top,
# middle and end, Ctrl+End, and horizontal scrolling, on a 1 MiB and a
# >= 2.15 GB file of short lines and on a 200 KiB and a 200 MiB single line.
# Prints the figures and the ratios small / big (1.00: painting does not grow
# with the file; above 1 would mean the big file paints faster), with the peak
# memory of the Wine process on the big files. On 200 lines of 300,000 units:
# a paint with 73 rows, a paint after each 8-px resize and a paint of a screen
# across two blocks of 30 Mi units, beside the flat paint of the same file
# (ratio flat / case: 1.00 = no extra cost).
#   bench/bench_paint.sh [frames]      (default 100 per position)
# Environment: see bench/lib/common.sh (TOMEVIEW_BENCH_WIN is the Windows build).
# Runs on this tree's Wine prefix and an Xvfb of its own.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
frames="${1:-100}"

tv_bench_win paint_bench_win
small="$(tv_bench_file paint-small)"
big="$(tv_bench_file log-utf8)"
lsmall="$(tv_bench_file line-small)"
lbig="$(tv_bench_file line-big)"
llong="$(tv_bench_file lines-long)"
out_file="$(mktemp)"
trap 'rm -f "$out_file"; tv_bench_wine_stop' EXIT
# Tall enough for a window of 73 rows.
export TV_XVFB_SCREEN=1600x1600x24
tv_bench_wine_start

peak=0
run() {  # $1 file, $2 frames, $3 mode; sets out and peak
    cat "$1" >/dev/null
    peak=$(tv_bench_peak "$out_file" "$WINE" "$TV_BENCH_WIN/paint_bench_win.exe" "$(tv_winpath "$1")" "${2:-$frames}" \
        ${3:+"$3"})
    out=$(tr -d '\r' <"$out_file")
}
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

run "$small"; s_out=$out;  echo "1 MiB file:      $s_out  (peak $peak MiB)"
run "$big"; b_out=$out; b_peak=$peak; echo "big file:        $b_out  (peak $peak MiB)"
run "$lsmall"; ls_out=$out; echo "200 KiB line:    $ls_out  (peak $peak MiB)"
run "$lbig"; lb_out=$out; lb_peak=$peak; echo "200 MiB line:    $lb_out  (peak $peak MiB)"
run "$llong" $(((frames + 4) / 5)) screens; ll_out=$out; ll_peak=$peak; echo "long lines:      $ll_out  (peak $peak MiB)"

echo "ratios small/big (1.00 = no growth with size):"
row() {  # label, key, big output, small output, peer name, peak
    local b s
    b=$(field "$3" "$2") s=$(field "$4" "$2")
    printf '  %-34s %8.3f ms  %8.3f ms  %s\n' "$1" "$b" "$s" \
        "$(awk -v b="$b" -v s="$s" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), s / b }')"
    tv_bench_result "$1" "$b" "$s" "$5" ms - "$6" >&3
}
# label, key, peer key, output, peer name, peak: the same file, another frame
same() {
    local b s
    b=$(field "$4" "$2") s=$(field "$4" "$3")
    printf '  %-34s %8.3f ms  %8.3f ms  %s\n' "$1" "$b" "$s" \
        "$(awk -v b="$b" -v s="$s" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), s / b }')"
    tv_bench_result "$1" "$b" "$s" "$5" ms - "$6" >&3
}
exec 3>"$out_file.results"
row "paint, top of big file" paint_top_ms "$b_out" "$s_out" "1 MiB file" "$b_peak"
row "paint, middle of big file" paint_mid_ms "$b_out" "$s_out" "1 MiB file" "$b_peak"
row "paint, end of big file" paint_end_ms "$b_out" "$s_out" "1 MiB file" "$b_peak"
row "Ctrl+End, big file" ctrl_end_ms "$b_out" "$s_out" "1 MiB file" "$b_peak"
row "paint, top of 200 MiB line" paint_top_ms "$lb_out" "$ls_out" "200 KiB line" "$lb_peak"
row "paint, end of 200 MiB line" paint_end_ms "$lb_out" "$ls_out" "200 KiB line" "$lb_peak"
row "Ctrl+End, 200 MiB line" ctrl_end_ms "$lb_out" "$ls_out" "200 KiB line" "$lb_peak"
row "scroll right, 200 MiB line" hscroll_ms "$lb_out" "$ls_out" "200 KiB line" "$lb_peak"
echo "ratios flat / case on 200 lines of 300,000 units (1.00 = no extra cost):"
same "paint, 73 rows of long lines" rows73_ms flat_ms "$ll_out" "flat paint" "$ll_peak"
same "paint after an 8-px resize" resize_ms flat_ms "$ll_out" "flat paint" "$ll_peak"
same "paint across two 30 Mi-unit blocks" straddle_ms flat_ms "$ll_out" "flat paint" "$ll_peak"
exec 3>&-
cat "$out_file.results"
rm -f "$out_file.results"
