#!/bin/bash
# Commands that arrive while a print job pumps messages must not disturb it:
# a second Ctrl+P is ignored and closing the window waits for the job's end.
# The PDF must hold every line in order and the program must then exit.
set -euo pipefail
PRINT_NAME=print_during_job
source "$(dirname "$0")/lib/print_common.sh"

doc="$work/long-job.txt"
seq -f 'row %06g of the long job' 1 700 >"$doc"
open_document "$doc"
open_print_dialog
confirm_print_dialog

wait_title "正在打印文件：第2页" 60 >/dev/null || { echo "print_during_job: the job did not start" >&2; exit 1; }
# In the middle of the job: Print again, then close the window.
activate "$win"
xdotool key ctrl+p
for _ in $(seq 10); do
    if [ -n "$(xwin_search "$pid" '^打印$')" ]; then
        import -display "$DISPLAY" -window root "$out/second-dialog.png"
        echo "print_during_job: a second Print dialog opened during the job" >&2
        exit 1
    fi
    sleep 0.1
done
# The caption's close button (Wine draws the frame: no window manager here).
eval "$(xquery "$win" getwindowgeometry --shell)"
xdotool mousemove $((X + WIDTH - 12)) $((Y + 11)) click 1
sleep 0.5
title=$(xdotool getwindowname "$(xid "$win")" 2>/dev/null || true)
echo "after the close request: $title"
case "$title" in *"正在打印文件"*|*"打印文件完成"*) ;; *) echo "print_during_job: the window went away during the job" >&2; exit 1 ;; esac

# The program ends by itself once the job is over.
for _ in $(seq 1200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "print_during_job: the program did not exit after the job" >&2; exit 1; fi
pid=""

wait_pdf "$out/printed.pdf"
# Exactly one job was printed.
if [ -n "$(newest_pdf)" ]; then
    echo "print_during_job: more than one job printed" >&2; exit 1
fi

pages=$(pdfinfo "$out/printed.pdf" | sed -n 's/^Pages: *//p')
pdftotext -layout "$out/printed.pdf" "$work/all.txt"
grep -o 'row [0-9]* of the long job' "$work/all.txt" | awk '{print $2+0}' >"$work/rows.txt"
seq 1 700 | diff -q - "$work/rows.txt" >/dev/null || { echo "print_during_job: rows missing or out of order" >&2; exit 1; }
lastnum=$(grep -o '第[0-9]*页' "$work/all.txt" | tail -1)
echo "PDF pages: $pages, last page number: $lastnum"
[ "$lastnum" = "第${pages}页" ] || { echo "print_during_job: page numbers do not match the pages" >&2; exit 1; }
