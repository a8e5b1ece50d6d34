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
# What the first run in found (the user's default queue, which of the queues
# and the scheduler it made itself) is kept on disk until the last run out
# has put it back. A run that was killed before its stop leaves it there, and
# the next run goes on from it: it does not take the killed run's queue and
# scheduler for the user's own, and its last stop undoes them. A stop alone
# after a killed run undoes them as well.
#
# The queue is raw (CUPS runs no filter, which these machines do not allow
# for its user lp): the program hands it PostScript, and the cups-pdf
# backend writes each job as /var/spool/kvr-pdf/job_<id>-<title>.pdf.
#
# Environment: KVR_PDF_OUT (the PDF folder), KVR_PRINT_HOLDER (the run's
# process), and for a print system of its own (the script's test):
# CUPS_SERVER (the scheduler that the print commands talk to),
# KVR_PRINT_STATE (the folder of what the runs found and who holds the
# queue), KVR_PRINT_QUEUE and KVR_PRINT_QUEUE_STOPPED (the queues' names),
# KVR_CUPSD_ARGS (options of the scheduler started, such as -c and -s of its
# own configuration) and KVR_CUPSD_PIDFILE (where it writes its process id).
set -euo pipefail

queue=${KVR_PRINT_QUEUE:-KVR_PDF}
stopped=${KVR_PRINT_QUEUE_STOPPED:-KVR_PDF_STOPPED}
out=${KVR_PDF_OUT:-/var/spool/kvr-pdf}
state=${KVR_PRINT_STATE:-/var/lib/kvr-print-queue}
found=$state/found
holder=${KVR_PRINT_HOLDER:-$PPID}
cupsd_pidfile=${KVR_CUPSD_PIDFILE:-/run/cups/cupsd.pid}
read -r -a cupsd_args <<<"${KVR_CUPSD_ARGS:-}"
boot=$(cat /proc/sys/kernel/random/boot_id 2>/dev/null || echo unknown)

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

# Drops the registrations of runs whose process has ended. Those of an
# earlier boot go whatever runs under their numbers now, and so does the
# record of a scheduler started then.
prune_holders() {
  local f
  if [ "$(cat "$state/boot" 2>/dev/null)" != "$boot" ]; then
    $SUDO rm -f "$state"/holders/* "$found/scheduler"
    echo "$boot" | $SUDO tee "$state/boot" >/dev/null
  fi
  for f in "$state"/holders/*; do
    [ -e "$f" ] || continue
    kill -0 "$(basename "$f")" 2>/dev/null || $SUDO rm -f "$f"
  done
}

# The scheduler that a run started, while it is still that process (a
# process id may be reused); empty when there is none.
own_scheduler() {
  local pid
  pid=$(cat "$found/scheduler" 2>/dev/null) || return 0
  if [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = "cupsd" ]; then
    echo "$pid"
  fi
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
    # it back; what a killed run noted stands where it still holds.
    $SUDO mkdir -p "$found"
    if ! running; then
      [ -x /usr/sbin/cupsd ] || fail "CUPS is not installed (apt-get install cups printer-driver-cups-pdf)"
      $SUDO /usr/sbin/cupsd "${cupsd_args[@]}" || fail "cupsd did not start"
      for _ in $(seq 100); do running && break; sleep 0.1; done
      running || fail "cupsd started but does not answer"
      $SUDO sh -c 'cat "$1" > "$2"' sh "$cupsd_pidfile" "$found/scheduler"
    elif [ -z "$(own_scheduler)" ]; then
      $SUDO rm -f "$found/scheduler" # running, and not one that a run started
    fi
    queue_exists || $SUDO touch "$found/queue"
    # The user's default, unless it is this queue that a killed run made the
    # default: then the default it found stands.
    local current
    current=$(default_queue)
    if [ "$current" != "$queue" ] || [ ! -f "$found/default" ]; then
      echo "$current" | $SUDO tee "$found/default" >/dev/null
    fi
  fi
  $SUDO touch "$state/holders/$holder"

  # The PDF printer writes each job's file as the user who printed it, named
  # after the job's title as the queue has it, whole, Cyrillic included.
  # Written only when it changes: jobs of other runs read it meanwhile.
  $SUDO mkdir -p "$out"
  $SUDO chmod 1777 "$out"
  local conf
  conf=$(printf 'Out %s\nLabel 1\nTitlePref 1\nDecodeHexStrings 1\nTruncate 240' "$out")
  if [ "$(cat /etc/cups/cups-pdf-kvr.conf 2>/dev/null)" != "$conf" ]; then
    echo "$conf" | $SUDO tee /etc/cups/cups-pdf-kvr.conf >/dev/null
  fi
  if ! queue_exists; then
    $SUDO lpadmin -p "$queue" -v cups-pdf:/kvr -E -m raw 2>/dev/null || fail "cannot make the queue $queue"
  fi
  if ! queue_exists "$stopped"; then
    $SUDO lpadmin -p "$stopped" -v cups-pdf:/kvr -m raw 2>/dev/null || fail "cannot make the queue $stopped"
    $SUDO touch "$found/stopped"
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

  if [ -f "$found/queue" ] && running; then
    $SUDO lpadmin -x "$queue" 2>/dev/null || true
  fi
  if [ -f "$found/stopped" ] && running; then
    $SUDO lpadmin -x "$stopped" 2>/dev/null || true
  fi
  local previous=""
  [ -f "$found/default" ] && previous=$(cat "$found/default")
  if [ -n "$previous" ] && [ "$previous" != "$queue" ] && running; then
    $SUDO lpadmin -d "$previous" 2>/dev/null || true
  fi
  # Only the scheduler that a start began, and only while it is still that
  # process.
  local pid
  pid=$(own_scheduler)
  if [ -n "$pid" ]; then
    $SUDO kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  $SUDO rm -rf "$found"
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
