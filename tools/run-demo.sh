#!/usr/bin/env bash
# Builds the program, lays out a demo installation in demo/ beside a copy of
# the executable (the program finds every file from its own folder), and
# starts it with a PDF printer as the default print queue.
#
#   bash tools/run-demo.sh           lay the demo out afresh and start
#   bash tools/run-demo.sh --keep    keep what is in demo/ (your entries) and start
#
# Laying out afresh gives a clean installation: what an earlier run left in
# demo/ (reports entered, periods opened) is removed, and the demo's tables are
# written anew (settings, organisations, the periods 2015/2016 and 2016/2017,
# the current school year's period and the one before, blanks, filled
# reports). --keep keeps everything as it was.
set -euo pipefail
cd "$(dirname "$0")/.."

keep=0
case "${1:-}" in
  --keep) keep=1 ;;
  "") ;;
  *) echo "usage: bash tools/run-demo.sh [--keep]" >&2; exit 2 ;;
esac

bash tools/install-deps.sh

# The demo's spreadsheet program, which shows the organisation list
# ("Справочники" -> "Печать"): the program hands the list to the program
# that the desktop names for spreadsheets, and says where the file is when
# there is none. LibreOffice's own windows would need the full LibreOffice,
# which cannot be installed beside the windowless one the program prints
# with; Gnumeric can, and reads the list.
if ! dpkg -s gnumeric >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing the demo's spreadsheet program: gnumeric"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends gnumeric >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kvr kvr_demo -j"$(nproc)"

mkdir -p demo
# -f: a demo program still running keeps its file busy; replace the file.
cp -f build/kvr demo/kvr
if [ "$keep" -eq 0 ] || [ ! -f demo/PUTI.DBF ]; then
  build/tools/kvr_demo demo
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the program cannot
show its window. The demo installation is ready in $(pwd)/demo.
Run it on a virtual display (package xvfb) with:

    xvfb-run -a bash tools/run-demo.sh --keep

or start demo/kvr yourself from a desktop session.
MSG
  exit 1
fi

# Pages printed in the demo go to a PDF printer as the default queue; the
# queue is set up while the program runs and undone when it ends.
bash tools/print-queue.sh start
trap 'bash tools/print-queue.sh stop' EXIT

echo "Starting demo/kvr: answer the date dialog, then the main window shows its buttons."
echo "Printed pages come out as PDF files in ${KVR_PDF_OUT:-/var/spool/kvr-pdf}."
demo/kvr
