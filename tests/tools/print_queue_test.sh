#!/usr/bin/env bash
# tools/print-queue.sh on a print system of its own: a scheduler with its own
# configuration and socket, its own state folder and queue names, so that the
# print system the other runs use is never touched. The user has a default
# queue of their own and no scheduler running; after a run (or several, one
# of them killed before its stop) the user has that again: the scheduler is
# ended, the queues the runs made are gone, the user's queue is the default.
#
#   bash tests/tools/print_queue_test.sh tools/print-queue.sh
set -euo pipefail

script=$(realpath "$1")
if [ "$(id -u)" -ne 0 ] || [ ! -x /usr/sbin/cupsd ]; then
  echo "SKIP: the scheduler of its own needs root and CUPS"
  exit 77
fi

work=$(mktemp -d /tmp/kvr-print-queue-test.XXXXXX)
chmod 755 "$work"
holders=()
cleanup() {
  local pid
  pid=$(cat "$work/run/cupsd.pid" 2>/dev/null || true)
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  for pid in "${holders[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/etc" "$work/run" "$work/spool/tmp" "$work/cache" "$work/log"
cat >"$work/etc/cupsd.conf" <<EOF
Listen $work/run/cups.sock
Browsing No
LogLevel warn
DefaultAuthType None
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
<Location />
  Order deny,allow
</Location>
EOF
cat >"$work/etc/cups-files.conf" <<EOF
ServerRoot $work/etc
StateDir $work/run
CacheDir $work/cache
RequestRoot $work/spool
TempDir $work/spool/tmp
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
FileDevice No
EOF

# What the other runs use, to see afterwards that it is as it was.
shared_default=$(env -u CUPS_SERVER lpstat -d 2>/dev/null || true)
# The PDF folder the shared set-up names, so that the script finds its
# printer's settings as they are and leaves them.
out=$(sed -n 's/^Out //p' /etc/cups/cups-pdf-kvr.conf 2>/dev/null || true)

export CUPS_SERVER=$work/run/cups.sock
export KVR_PRINT_STATE=$work/state
export KVR_PRINT_QUEUE=KVR_TEST_PDF
export KVR_PRINT_QUEUE_STOPPED=KVR_TEST_PDF_STOPPED
export KVR_CUPSD_ARGS="-c $work/etc/cupsd.conf -s $work/etc/cups-files.conf"
export KVR_CUPSD_PIDFILE=$work/run/cupsd.pid
export KVR_PDF_OUT=${out:-/var/spool/kvr-pdf}
unset PRINTER LPDEST
export HOME=$work # no lpoptions of the user's own

scheduler_up() { lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }
# The user's own start and stop of the scheduler.
start_scheduler() {
  /usr/sbin/cupsd $KVR_CUPSD_ARGS 2>/dev/null
  scheduler_up
}
stop_scheduler() {
  local pid
  pid=$(cat "$KVR_CUPSD_PIDFILE")
  kill "$pid"
  timeout 30 tail --pid="$pid" -f /dev/null
}

failures=0
expect() { # what, expected, actual
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAIL: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}
default_queue() { lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'; }
queue_there() { lpstat -p "$1" >/dev/null 2>&1 && echo yes || echo no; }
# A process that stands for a run of the program or the tests.
new_holder() {
  sleep infinity &
  holders+=("$!")
  holder=$!
}

# The user's print system: their own queue is the default, the scheduler is
# not running.
start_scheduler
lpadmin -p USER_Q -v cups-pdf:/kvr -m raw 2>/dev/null
lpadmin -d USER_Q
stop_scheduler

# How the runs go: one that stops; one killed, then another that starts and
# stops; one killed, then a stop alone.
for runs in stopped killed-then-run killed-then-stop; do
  echo "--- $runs"
  new_holder
  first=$holder
  KVR_PRINT_HOLDER=$first bash "$script" start >/dev/null
  expect "$runs: the test queue is the default while a run holds it" KVR_TEST_PDF "$(default_queue)"
  case $runs in
  stopped)
    KVR_PRINT_HOLDER=$first bash "$script" stop
    ;;
  killed-then-run)
    kill "$first"
    wait "$first" 2>/dev/null || true
    new_holder
    KVR_PRINT_HOLDER=$holder bash "$script" start >/dev/null
    expect "$runs: the next run prints to the test queue" KVR_TEST_PDF "$(default_queue)"
    expect "$runs: the next run has the stopped queue" yes "$(queue_there KVR_TEST_PDF_STOPPED)"
    KVR_PRINT_HOLDER=$holder bash "$script" stop
    ;;
  killed-then-stop)
    kill "$first"
    wait "$first" 2>/dev/null || true
    KVR_PRINT_HOLDER=$$ bash "$script" stop
    ;;
  esac
  scheduler_up && up=yes || up=no
  expect "$runs: the scheduler a run started is ended" no "$up"
  # What the print system keeps, as the user's next start of it finds it.
  [ "$up" = no ] || stop_scheduler
  if start_scheduler; then
    expect "$runs: the user's queue is the default again" USER_Q "$(default_queue)"
    expect "$runs: the test queue is gone" no "$(queue_there KVR_TEST_PDF)"
    expect "$runs: the stopped test queue is gone" no "$(queue_there KVR_TEST_PDF_STOPPED)"
    expect "$runs: the user's queue is kept" yes "$(queue_there USER_Q)"
    stop_scheduler
  else
    expect "$runs: the scheduler starts again" yes no
  fi
done

expect "the print system of the other runs is as it was" "$shared_default" \
  "$(env -u CUPS_SERVER lpstat -d 2>/dev/null || true)"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
