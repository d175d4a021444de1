#!/usr/bin/env bash
# The console demo: extract the strings of a real Windows binary (our own glosmorin-cli.exe)
# and show the log and the first lines of its translation file.
set -euo pipefail
cli=$1
exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/glosmorin-cli.exe"
echo "== glosmorin-cli extract $work/glosmorin-cli.exe"
status=0
"$cli" extract "$work/glosmorin-cli.exe" || status=$?
echo "== exit status $status; first lines of glosmorin-cli.exe.ttt:"
head -c 2000 "$work/glosmorin-cli.exe.ttt" | tr -d '\r' | head -n 20
echo
echo "== entries: $(grep -c '^0x' <(tr -d '\r' < "$work/glosmorin-cli.exe.ttt"))"
