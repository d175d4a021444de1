#!/usr/bin/env bash
# Runs the tests of a Windows cross build under Wine: wine-test.sh BUILD_DIR [ctest args...]
# The Wine prefix lives in the build tree and is created on first use; one wine server stays up
# for the whole ctest run and is stopped afterwards. Works without a display for tests that open
# no window. GLOS_WINE_LANG picks the locale Wine sees (default C.UTF-8).
set -u
if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR [ctest args...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
shift

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export GLOS_WINE_LANG="${GLOS_WINE_LANG:-C.UTF-8}"
export LANG="$GLOS_WINE_LANG" LC_ALL="$GLOS_WINE_LANG"
# No Mono or Gecko installer prompts while the prefix is made: the tests need neither.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ ! -d "$WINEPREFIX" ]; then
  if ! wineboot -i </dev/null >/dev/null 2>&1; then
    echo "wine-test: could not create the Wine prefix $WINEPREFIX" >&2
    exit 1
  fi
fi

wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT
wine wineboot </dev/null >/dev/null 2>&1

# Each test runs once: a start that Wine fails is tried again by cmake/wine-run.sh, which runs
# every test program, but a test that fails fails the run.
ctest --test-dir "$build" --output-on-failure "$@"
status=$?
exit "$status"
