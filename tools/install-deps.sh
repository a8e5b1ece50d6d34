#!/usr/bin/env bash
# Installs what building, running and testing the program needs, from
# Debian's packages. Does nothing when everything is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libshp-dev libmuparser-dev
  libreoffice-calc-nogui libreoffice-dev
  xvfb xauth poppler-utils fonts-dejavu-core xdg-utils
  cups printer-driver-cups-pdf libcups2-dev
  python3 python3-dbf
  clang libclang-rt-dev
  locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The tests check that numbers are handled the same under a Russian locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU.utf8$'; then
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8 || true
fi
if ! locale -a 2>/dev/null | grep -qi '^ru_RU.cp1251$'; then
  $SUDO localedef -i ru_RU -f CP1251 ru_RU.CP1251 2>/dev/null || true
fi
