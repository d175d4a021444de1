#!/usr/bin/env bash
# Prepares the Wine prefix of a build for windows: wine-window-prefix.sh BUILD_DIR
# Creates BUILD_DIR/wineprefix if it is missing (as scripts/wine-test.sh does) and imports
# scripts/wine-window.reg, so that the dialogs show their Chinese texts. Safe to run again.
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -d "$WINEPREFIX" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || { echo "could not create $WINEPREFIX" >&2; exit 1; }
fi
wine regedit /S "$(winepath -w "$here/wine-window.reg")" </dev/null >/dev/null 2>&1
wineserver -w
