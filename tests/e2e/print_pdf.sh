#!/bin/bash
# Prints a document from the real program to a CUPS PDF printer through the
# Print dialog (driven with xdotool) and checks the PDF: page count against
# the end title, a page number on every page, the wrapped rows of a long
# line, and every line in order. Starts CUPS itself before Wine.
set -euo pipefail
src="${TOMEVIEW_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}"
exe="${TOMEVIEW_EXE:-}"
for d in "$src/build/win" "$src/build/output-win"; do
    [ -z "$exe" ] && [ -f "$d/tomeview.exe" ] && exe="$d/tomeview.exe"
done
[ -n "$exe" ] || { echo "print_pdf: tomeview.exe not built" >&2; exit 1; }

source "$src/scripts/wine-env.sh"
tv_prefix_ensure
"$src/scripts/cups-start.sh" >/dev/null

work=$(mktemp -d /tmp/tv_print.XXXXXX)
pid=""
started_xvfb=0
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    [ $started_xvfb = 1 ] && tv_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then tv_xvfb_start; started_xvfb=1; fi
out="${TOMEVIEW_E2E_OUT:-$src/build/e2e/print_pdf}"
mkdir -p "$out"

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

pdfdirs=("$HOME/PDF" /root/PDF /var/spool/cups-pdf/ANONYMOUS)
touch "$work/marker"

"$WINE" "$exe" "$(tv_winpath "$doc")" >/dev/null 2>&1 &
pid=$!

wait_title() {  # pattern, seconds
    local t
    for _ in $(seq $(($2 * 10))); do
        t=$(xdotool search --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$t" ] && { echo "$t"; return 0; }
        sleep 0.1
    done
    return 1
}

win=$(wait_title "print-test.txt - Tomeview" 60) || { echo "print_pdf: the document did not open" >&2; exit 1; }
xdotool windowfocus --sync "$win" 2>/dev/null || true
sleep 0.5
# The window may not take keys at once on a busy machine: ask again.
dlg=""
for _ in 1 2 3 4 5 6; do
    xdotool key --window "$win" ctrl+p
    dlg=$(wait_title "^打印$" 5) && break
done
[ -n "$dlg" ] || { import -display "$DISPLAY" -window root "$out/no-dialog.png"; echo "print_pdf: no Print dialog" >&2; exit 1; }
sleep 1
import -display "$DISPLAY" -window root "$out/print-dialog.png"
xdotool windowfocus --sync "$dlg" 2>/dev/null || true
xdotool key --window "$dlg" Return

done_win=$(wait_title "打印文件完成：总共" 120) || { import -display "$DISPLAY" -window root "$out/no-end.png"; echo "print_pdf: no end title" >&2; exit 1; }
title=$(xdotool getwindowname "$done_win")
echo "end title: $title"
pages=$(sed -n 's/.*打印文件完成：总共\([0-9]*\)页$/\1/p' <<<"$title")
case "$title" in *"print-test.txt - Tomeview超大文本浏览器-Orvane："*" - 打印文件完成：总共${pages}页") ;; *) echo "print_pdf: end title wrong" >&2; exit 1 ;; esac
import -display "$DISPLAY" -window root "$out/after-print.png"

# The spooler writes the PDF a few seconds after the job.
pdf=""
for _ in $(seq 300); do
    pdf=$(find "${pdfdirs[@]}" -maxdepth 1 -name 'printer*.pdf' -newer "$work/marker" 2>/dev/null | head -1 || true)
    if [ -n "$pdf" ] && pdfinfo "$pdf" >/dev/null 2>&1; then break; fi
    pdf=""
    sleep 0.2
done
[ -n "$pdf" ] || { echo "print_pdf: no PDF appeared" >&2; exit 1; }
cp "$pdf" "$out/printed.pdf"
rm -f "$pdf"

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
