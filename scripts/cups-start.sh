#!/bin/bash
# Starts a CUPS daemon with a PDF printer named PDF (the default printer).
#   scripts/cups-start.sh         start (does nothing if ours already runs)
#   scripts/cups-start.sh stop    stop the daemon this script started
# Wine must be started after this, or it sees no printer.
set -euo pipefail
# lpstat answers in the locale's language; the checks below read its English text.
export LC_ALL=C

PIDFILE=${TOMEVIEW_CUPS_PIDFILE:-/run/tomeview-cupsd.pid}
LOG=${TOMEVIEW_CUPS_LOG:-/tmp/tomeview-cupsd.log}

running() { [ -f "$PIDFILE" ] && kill -0 "$(cat "$PIDFILE")" 2>/dev/null; }

if [ "${1:-start}" = stop ]; then
    if running; then
        pid=$(cat "$PIDFILE")
        kill "$pid"
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$PIDFILE"
    exit 0
fi

if [ ! -x /usr/sbin/cupsd ] || [ ! -e /usr/lib/cups/backend/cups-pdf ] || ! command -v pdftotext >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        cups cups-client printer-driver-cups-pdf poppler-utils >/dev/null
fi

if ! running; then
    if lpstat -r 2>/dev/null | grep -q "is running"; then
        echo "cups-start: a scheduler not started by this script is running; using it" >&2
    else
        /usr/sbin/cupsd -f >"$LOG" 2>&1 &
        echo $! >"$PIDFILE"
        for _ in $(seq 100); do
            lpstat -r 2>/dev/null | grep -q "is running" && break
            sleep 0.1
        done
        lpstat -r | grep -q "is running" || { echo "cups-start: cupsd did not come up" >&2; exit 1; }
    fi
fi

if ! lpstat -p PDF >/dev/null 2>&1; then
    lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
fi
lpadmin -d PDF
cupsenable PDF 2>/dev/null || true
cupsaccept PDF 2>/dev/null || true
echo "cups-start: printer PDF ready"
