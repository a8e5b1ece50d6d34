#!/bin/sh
# Makes template.xls (the old Excel format) from template.fods with
# LibreOffice, in a throw-away profile so that a running office is not used.
set -e
here=$(cd "$(dirname "$0")" && pwd)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
soffice -env:UserInstallation="file://$profile" --headless --norestore \
    --convert-to 'xls:MS Excel 97' --outdir "$here" "$here/template.fods"
