#!/usr/bin/env bash
# The print queue that the tests print to: CUPS with a PDF printer as the
# default queue.
#
#   tools/print-queue.sh start   starts the scheduler (unless it runs) and
#                                makes the queue KVR_PDF the default
#   tools/print-queue.sh stop    ends the scheduler, if start started it
#
# The queue is raw (CUPS runs no filter, which these machines do not allow
# for its user lp): the program hands it PostScript, and the cups-pdf
# backend writes each job as /var/spool/kvr-pdf/job_<id>-<title>.pdf.
set -euo pipefail

queue=KVR_PDF
out=${KVR_PDF_OUT:-/var/spool/kvr-pdf}
started=/run/kvr-print-queue.started

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

running() { lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }

fail() {
  echo "print-queue: $*" >&2
  echo "print-queue: printing cannot be tested without CUPS; see /var/log/cups/error_log" >&2
  exit 1
}

case "${1:-}" in
start)
  if ! running; then
    [ -x /usr/sbin/cupsd ] || fail "CUPS is not installed (apt-get install cups printer-driver-cups-pdf)"
    $SUDO /usr/sbin/cupsd || fail "cupsd did not start"
    for _ in $(seq 100); do running && break; sleep 0.1; done
    running || fail "cupsd started but does not answer"
    $SUDO sh -c "cat /run/cups/cupsd.pid > $started"
  fi
  # The PDF printer writes each job's file as the user who printed it.
  $SUDO mkdir -p "$out"
  $SUDO chmod 1777 "$out"
  printf 'Out %s\nLabel 1\n' "$out" | $SUDO tee /etc/cups/cups-pdf-kvr.conf >/dev/null
  $SUDO lpadmin -p "$queue" -v cups-pdf:/kvr -E -m raw 2>/dev/null || fail "cannot make the queue $queue"
  $SUDO lpadmin -d "$queue" || fail "cannot make $queue the default queue"
  lpstat -d | grep -q "$queue" || fail "$queue is not the default queue"
  echo "print-queue: $queue is the default queue; its PDF files go to $out"
  ;;
stop)
  if [ -f "$started" ]; then
    pid=$(cat "$started")
    $SUDO kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    $SUDO rm -f "$started"
  fi
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
