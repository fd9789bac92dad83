#!/bin/bash
# Commands that arrive while a print job pumps messages must not disturb it:
# a second Ctrl+P is ignored. Esc cancels the job (the title says so and the
# window stays); closing the window cancels the next job and then closes.
# A cancelled job leaves no PDF, or one with fewer rows than the document.
set -euo pipefail
PRINT_NAME=print_during_job
source "$(dirname "$0")/lib/print_common.sh"

doc="$work/long-job.txt"
seq -f 'row %06g of the long job' 1 700 >"$doc"
open_document "$doc"

# A job in progress: Print again is ignored, Esc cancels it.
open_print_dialog
confirm_print_dialog
wait_title "正在打印文件：第2页" 60 >/dev/null || { echo "print_during_job: the job did not start" >&2; exit 1; }
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
xdotool key Escape
wait_title "long-job.txt - Tomeview.* - 打印已取消$" 30 >/dev/null ||
    fail "Esc did not cancel the job"
echo "after Esc: $(xquery "$win" getwindowname)"

# The next job: closing the window cancels it, and the program ends.
open_print_dialog
confirm_print_dialog
wait_title "正在打印文件：第2页" 60 >/dev/null || { echo "print_during_job: the second job did not start" >&2; exit 1; }
# The caption's close button (Wine draws the frame: no window manager here).
eval "$(xquery "$win" getwindowgeometry --shell)"
xdotool mousemove $((X + WIDTH - 12)) $((Y + 11)) click 1
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then fail "the program did not close after the close request"; fi
pid=""

# The spooler writes a PDF a few seconds after a job, if at all. The printer
# is shared: only PDFs with rows of this document are looked at.
seen=" "
for _ in $(seq 100); do
    for pdf in $(find "${pdfdirs[@]}" -maxdepth 1 -name 'printer*.pdf' -newer "$work/marker" 2>/dev/null); do
        case "$seen" in *" $pdf "*) continue ;; esac
        pdftotext -layout "$pdf" "$work/all.txt" 2>/dev/null || continue
        seen="$seen$pdf "
        rows=$(grep -c 'row [0-9]* of the long job' "$work/all.txt" || true)
        [ "$rows" -gt 0 ] || continue
        echo "a cancelled job printed $(pdfinfo "$pdf" | sed -n 's/^Pages: *//p') pages with $rows rows"
        [ "$rows" -lt 700 ] || { echo "print_during_job: a cancelled job printed the whole document" >&2; exit 1; }
        mv "$pdf" "$out/cancelled-$(basename "$pdf")"
    done
    sleep 0.1
done
echo "print_during_job: ok"
