#!/usr/bin/env bash
# Runs a Windows program under Wine in a private, quiet prefix inside the build tree.
# The Makefile points WINEPREFIX into the build tree; this default serves a bare ctest call.
: "${WINEPREFIX:=${HOME:-/tmp}/.cache/glosmorin-wine}"
export WINEPREFIX WINEDEBUG=-all
# A prefix made on the fly must not stop to offer the Mono or Gecko installers.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG="${GLOS_WINE_LANG:-C.UTF-8}" LC_ALL="${GLOS_WINE_LANG:-C.UTF-8}"

# Now and then Wine fails to start a program at all: it ends at once, having written nothing.
# Only such a start is tried again (three tries in all); a program that ran, passing or
# failing, is never run twice, so a flaky test shows as the failure it is.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for _ in 1 2 3; do
  wine "$@" >"$out" 2>"$err"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then break; fi
done
cat "$out"
cat "$err" >&2
exit "$status"
