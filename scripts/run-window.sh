#!/usr/bin/env bash
# Opens glosmorin.exe of a Windows cross build under Wine on the current display, in the zh_CN
# locale: run-window.sh BUILD_DIR [path]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift
if [ -z "${DISPLAY:-}" ]; then
  echo "run-window: no DISPLAY to open the window on" >&2
  exit 2
fi
bash "$here/wine-window-prefix.sh" "$build"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
exec wine "$build/ui/glosmorin.exe" "$@"
