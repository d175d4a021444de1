#!/usr/bin/env bash
# Runs a Windows program under Wine in a private, quiet prefix inside the build tree.
# The Makefile points WINEPREFIX into the build tree; this default serves a bare ctest call.
: "${WINEPREFIX:=${HOME:-/tmp}/.cache/glosmorin-wine}"
export WINEPREFIX WINEDEBUG=-all
# A prefix made on the fly must not stop to offer the Mono or Gecko installers.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG="${GLOS_WINE_LANG:-C.UTF-8}" LC_ALL="${GLOS_WINE_LANG:-C.UTF-8}"
exec wine "$@"
