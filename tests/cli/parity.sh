#!/usr/bin/env bash
# Runs the native glosmorin-cli and glosmorin-cli.exe under Wine on the same real PE files and
# compares their translation files and log lines byte for byte.
set -euo pipefail
native=$(realpath "$1")
windows=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=${WINEPREFIX:-$(dirname "$windows")/../wineprefix} WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8

corpus=()
for name in kernel32.dll shlwapi.dll comctl32.dll msvcrt.dll notepad.exe; do
  [ -f "$dlls/$name" ] && corpus+=("$dlls/$name")
done
corpus+=("$windows")
[ -d "$here/corpus" ] && for f in "$here"/corpus/*; do corpus+=("$f"); done

run_case() {  # name, then the options and command
  local label=$1; shift
  for side in native windows; do
    rm -rf "$work/$side"; mkdir -p "$work/$side"
    for f in "${corpus[@]}"; do cp "$f" "$work/$side/"; done
  done
  local status_n=0 status_w=0
  (cd "$work/native" && "$native" "$@" > ../native.log) || status_n=$?
  (cd "$work/windows" && wine "$windows" "$@" > ../windows.log 2>/dev/null) || status_w=$?
  if [ "$status_n" != "$status_w" ]; then
    echo "FAIL $label: exit status native $status_n, windows $status_w"; return 1
  fi
  if ! cmp -s "$work/native.log" "$work/windows.log"; then
    echo "FAIL $label: log lines differ"; diff "$work/native.log" "$work/windows.log" | head; return 1
  fi
  if ! diff -r "$work/native" "$work/windows" > /dev/null; then
    echo "FAIL $label: files differ"; diff -rq "$work/native" "$work/windows" | head; return 1
  fi
  local n; n=$(ls "$work/native" | grep -c '\.tt.$' || true)
  echo "ok   $label ($n translation files, $(wc -l < "$work/native.log") log lines)"
}

passed=0 failed=0
check() { if run_case "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }
check "extract 8-bit" extract '*.*'
check "extract UTF-16" -u extract '*.*'
check "extract whole files, all characters" -x "" -a -m 5 extract '*.*'
check "extract length-prefixed" -b -x "" extract '*.exe'
check "search 8-bit" search '*.*' --find 'kernel'
check "search UTF-16 with escapes" -u search '*.*' --find 'K\x0065rnel'
check "replace 8-bit, shorter replacement" -t '\x2A' search '*.dll' --find 'kernel32' --replace 'K32\0'
check "replace UTF-16 length-prefixed" -u -b search '*.*' --find 'Error' --replace 'Oops'
echo "parity: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
