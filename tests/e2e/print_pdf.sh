#!/bin/bash
# Prints a document from the real program to a CUPS PDF printer through the
# Print dialog (driven with xdotool) and checks the PDF: page count against
# the end title, a page number on every page, the wrapped rows of a long
# line, and every line in order. Starts CUPS itself before Wine.
set -euo pipefail
PRINT_NAME=print_pdf
source "$(dirname "$0")/lib/print_common.sh"

# 150 numbered lines (Chinese and ASCII), one long line that must wrap, a tab line.
doc="$work/print-test.txt"
long=""
for i in $(seq -w 0 199); do long+="w${i}-"; done
{
    for i in $(seq -w 1 150); do
        printf '第%s行 line %s\r\n' "$i" "$i"
        [ "$i" = 075 ] && printf 'LONG%sEND\r\n' "$long"
    done
    printf 'tab\there\r\n'
} | iconv -f UTF-8 -t GBK >"$doc"

open_document "$doc"
open_print_dialog
import -display "$DISPLAY" -window root "$out/print-dialog.png"
confirm_print_dialog

done_win=$(wait_title "打印文件完成：总共" 120) || { import -display "$DISPLAY" -window root "$out/no-end.png"; echo "print_pdf: no end title" >&2; exit 1; }
title=$(xquery "$done_win" getwindowname)
echo "end title: $title"
pages=$(sed -n 's/.*打印文件完成：总共\([0-9]*\)页$/\1/p' <<<"$title")
case "$title" in *"print-test.txt - Tomeview超大文本浏览器-Orvane："*" - 打印文件完成：总共${pages}页") ;; *) echo "print_pdf: end title wrong" >&2; exit 1 ;; esac
import -display "$DISPLAY" -window root "$out/after-print.png"

wait_pdf "$out/printed.pdf"

status=0
got=$(pdfinfo "$out/printed.pdf" | sed -n 's/^Pages: *//p')
echo "PDF pages: $got, title pages: $pages"
[ "$got" = "$pages" ] && [ "$pages" -ge 3 ] || { echo "print_pdf: page count mismatch" >&2; status=1; }

for p in $(seq 1 "$got"); do
    pdftotext -layout -f "$p" -l "$p" "$out/printed.pdf" "$work/page$p.txt"
    last=$(grep -v '^[[:space:]]*$' "$work/page$p.txt" | tail -1 | tr -d '[:space:]')
    if [ "$last" != "第${p}页" ]; then echo "page $p ends with '$last', not its number" >&2; status=1; fi
done
pdftotext -layout "$out/printed.pdf" "$work/all.txt"
tr -d '\f' <"$work/all.txt" | sed 's/^[[:space:]]*//;s/[[:space:]]*$//' | grep -v '^$' | grep -v '^第[0-9]*页$' >"$work/rows.txt"

# Every numbered line, in order.
grep -o '^第[0-9]*行 line [0-9]*' "$work/rows.txt" | sed 's/.* //' >"$work/numbers.txt"
seq -w 1 150 | diff -q - "$work/numbers.txt" >/dev/null || { echo "print_pdf: numbered lines missing or out of order" >&2; status=1; }

# The long line: several rows, each a prefix of what is left, together the whole line.
awk '/^LONG/{on=1} on{printf "%s", $0; n++} /END$/{if(on){print ""; print n; exit}}' "$work/rows.txt" >"$work/long.txt"
joined=$(sed -n 1p "$work/long.txt"); rows=$(sed -n 2p "$work/long.txt")
echo "long line printed as $rows rows"
[ "$joined" = "LONG${long}END" ] || { echo "print_pdf: the long line did not survive wrapping" >&2; status=1; }
[ "${rows:-0}" -ge 2 ] || { echo "print_pdf: the long line did not wrap" >&2; status=1; }
grep -q '^tab[[:space:]]\+here$' "$work/rows.txt" || { echo "print_pdf: tab line missing" >&2; status=1; }

pdftoppm -png -r 50 -f 1 -l 2 "$out/printed.pdf" "$out/page"
echo "pages rendered to $out/page-*.png"
exit $status
