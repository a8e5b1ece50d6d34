#!/usr/bin/env bash
# The print queue that the tests print to: CUPS with a PDF printer as the
# default queue.
#
#   tools/print-queue.sh start   starts the scheduler (unless it runs), makes
#                                the queue KVR_PDF (unless it exists) and makes
#                                it the default queue; makes the queue
#                                KVR_PDF_STOPPED, which takes jobs and holds
#                                them (the tests of a stopped printer name it
#                                in PRINTER)
#   tools/print-queue.sh stop    undoes what start did, once no other run
#                                that called start is still using the queue
#
# start and stop leave the print system as they found it: a scheduler that
# was running before is left running, a queue that existed before is kept,
# and the default queue the user had is the default again after the last stop.
# Several runs may use the queue at once (two test runs side by side): each
# start registers its caller (the process that runs this script, or
# $KVR_PRINT_HOLDER), each stop removes it, and only the last one out undoes
# the set-up. Registrations of processes that no longer run are dropped.
#
# The queue is raw (CUPS runs no filter, which these machines do not allow
# for its user lp): the program hands it PostScript, and the cups-pdf
# backend writes each job as /var/spool/kvr-pdf/job_<id>-<title>.pdf.
set -euo pipefail

queue=KVR_PDF
stopped=KVR_PDF_STOPPED
out=${KVR_PDF_OUT:-/var/spool/kvr-pdf}
state=/run/kvr-print-queue
holder=${KVR_PRINT_HOLDER:-$PPID}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

running() { lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }
queue_exists() { lpstat -p "${1:-$queue}" >/dev/null 2>&1; }
default_queue() { lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'; }

fail() {
  echo "print-queue: $*" >&2
  echo "print-queue: printing cannot be tested without CUPS; see /var/log/cups/error_log" >&2
  exit 1
}

# Drops the registrations of runs whose process has ended.
prune_holders() {
  local f
  for f in "$state"/holders/*; do
    [ -e "$f" ] || continue
    kill -0 "$(basename "$f")" 2>/dev/null || $SUDO rm -f "$f"
  done
}

holders_left() {
  local f
  for f in "$state"/holders/*; do
    [ -e "$f" ] && return 0
  done
  return 1
}

start() {
  prune_holders
  if ! holders_left; then
    # The first run in: note what it finds, so that the last one out can put
    # it back.
    $SUDO rm -f "$state/scheduler" "$state/queue" "$state/stopped" "$state/default"
    if ! running; then
      [ -x /usr/sbin/cupsd ] || fail "CUPS is not installed (apt-get install cups printer-driver-cups-pdf)"
      $SUDO /usr/sbin/cupsd || fail "cupsd did not start"
      for _ in $(seq 100); do running && break; sleep 0.1; done
      running || fail "cupsd started but does not answer"
      $SUDO sh -c "cat /run/cups/cupsd.pid > $state/scheduler"
    fi
    queue_exists || $SUDO touch "$state/queue"
    default_queue | $SUDO tee "$state/default" >/dev/null
  fi
  $SUDO touch "$state/holders/$holder"

  # The PDF printer writes each job's file as the user who printed it, named
  # after the job's title as the queue has it, whole, Cyrillic included.
  $SUDO mkdir -p "$out"
  $SUDO chmod 1777 "$out"
  printf 'Out %s\nLabel 1\nTitlePref 1\nDecodeHexStrings 1\nTruncate 240\n' "$out" |
    $SUDO tee /etc/cups/cups-pdf-kvr.conf >/dev/null
  if ! queue_exists; then
    $SUDO lpadmin -p "$queue" -v cups-pdf:/kvr -E -m raw 2>/dev/null || fail "cannot make the queue $queue"
  fi
  if ! queue_exists "$stopped"; then
    $SUDO lpadmin -p "$stopped" -v cups-pdf:/kvr -m raw 2>/dev/null || fail "cannot make the queue $stopped"
    $SUDO touch "$state/stopped"
  fi
  $SUDO cupsaccept "$stopped" 2>/dev/null || true
  $SUDO cupsdisable "$stopped" 2>/dev/null || true
  $SUDO cupsenable "$queue" 2>/dev/null || true
  $SUDO cupsaccept "$queue" 2>/dev/null || true
  $SUDO lpadmin -d "$queue" || fail "cannot make $queue the default queue"
  lpstat -d | grep -q "$queue" || fail "$queue is not the default queue"
  echo "print-queue: $queue is the default queue; its PDF files go to $out"
}

stop() {
  $SUDO rm -f "$state/holders/$holder"
  prune_holders
  holders_left && return 0

  if [ -f "$state/queue" ] && running; then
    $SUDO lpadmin -x "$queue" 2>/dev/null || true
  fi
  if [ -f "$state/stopped" ] && running; then
    $SUDO lpadmin -x "$stopped" 2>/dev/null || true
  fi
  local previous=""
  [ -f "$state/default" ] && previous=$(cat "$state/default")
  if [ -n "$previous" ] && [ "$previous" != "$queue" ] && running; then
    $SUDO lpadmin -d "$previous" 2>/dev/null || true
  fi
  if [ -f "$state/scheduler" ]; then
    local pid
    pid=$(cat "$state/scheduler")
    # Only the scheduler that start began, and only while it is still that
    # process (a pid may be reused).
    if [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = "cupsd" ]; then
      $SUDO kill "$pid" 2>/dev/null || true
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
  fi
  $SUDO rm -f "$state/scheduler" "$state/queue" "$state/stopped" "$state/default"
}

case "${1:-}" in
start | stop)
  $SUDO mkdir -p "$state/holders"
  [ -w "$state/lock" ] || { $SUDO touch "$state/lock" && $SUDO chmod 666 "$state/lock"; }
  # One start or stop at a time, so that two runs never both think they are
  # the first in or the last out.
  exec 9>"$state/lock"
  flock 9
  "$1"
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
