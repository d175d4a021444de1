#!/usr/bin/env bash
# Runs the tests of a Windows cross build under Wine on a virtual display, so that the window
# tests run too: xvfb-wine-test.sh BUILD_DIR [ctest args...]
# Starts Xvfb on a free display, prepares the prefix for windows, runs scripts/wine-test.sh and
# stops Xvfb. Screenshots of the window tests land in BUILD_DIR/artefacts/ui.
set -u
if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR [ctest args...]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$1
shift

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
export DISPLAY=":$display"

bash "$here/wine-window-prefix.sh" "$build" || exit 1
bash "$here/wine-test.sh" "$build" "$@"
