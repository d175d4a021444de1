#!/usr/bin/env bash
# Runs the native glosmorin-cli and glosmorin-cli.exe under Wine on the same real PE files and
# the fuzz seed inputs, and compares their translation files, patched files and log lines byte
# for byte: extraction, search and replacement, and write-back of edited translation files.
set -euo pipefail
native=$(realpath "$1")
windows=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=${WINEPREFIX:-$(dirname "$windows")/../wineprefix} WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# Undo journals of the native runs stay in the work folder.
export XDG_STATE_HOME=$work/state

corpus=()
for name in kernel32.dll shlwapi.dll comctl32.dll msvcrt.dll notepad.exe; do
  [ -f "$dlls/$name" ] && corpus+=("$dlls/$name")
done
corpus+=("$windows")
[ -d "$here/corpus" ] && for f in "$here"/corpus/*; do corpus+=("$f"); done
# The fuzz seeds: small images, broken images and odd bytes, named after their target.
mkdir -p "$work/seeds"
for f in "$here"/../../fuzz/corpus/*/*; do
  [ -f "$f" ] || continue
  seed="$work/seeds/$(basename "$(dirname "$f")")-$(basename "$f").bin"
  cp "$f" "$seed"
  corpus+=("$seed")
done

# Android string pools built by aapt: a UTF-8 and a UTF-16 resource table, and a binary XML file.
if command -v aapt > /dev/null; then
  app=$work/app
  mkdir -p "$app/res/values"
  printf '%s' '<manifest xmlns:android="http://schemas.android.com/apk/res/android"' \
    ' package="org.example.parity"><application android:label="@string/a"/></manifest>' \
    > "$app/AndroidManifest.xml"
  printf '%s' '<resources><string name="a">Parity</string><string name="b">中文 <b>text</b>' \
    '</string><string name="c">A longer string to translate</string></resources>' \
    > "$app/res/values/strings.xml"
  for pool in utf8 utf16; do
    flags=(--min-sdk-version 21)
    [ "$pool" = utf16 ] && flags+=(--utf16)
    aapt package -f -M "$app/AndroidManifest.xml" -S "$app/res" "${flags[@]}" \
      -I /usr/share/android-framework-res/framework-res.apk -F "$app/$pool.apk"
    unzip -p "$app/$pool.apk" resources.arsc > "$work/seeds/$pool.arsc"
    corpus+=("$work/seeds/$pool.arsc")
  done
  unzip -p "$app/utf8.apk" AndroidManifest.xml > "$work/seeds/manifest.xml"
  corpus+=("$work/seeds/manifest.xml")
fi

prepare() {
  # Every case starts without undo journals on either side: the files of a case are new copies
  # under the names of the case before, and an old journal would only add notices of its own.
  rm -rf "${work:?}/state"
  find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Glosmorin -path '*AppData*' \
    -exec rm -rf {} + 2>/dev/null || true
  for side in native windows; do
    rm -rf "${work:?}/$side"; mkdir -p "$work/$side"
    for f in "${corpus[@]}"; do cp "$f" "$work/$side/"; done
  done
  : > "$work/native.log"; : > "$work/windows.log"
  status_n=0 status_w=0
}

run_both() {  # the options and command, run on both sides; the logs grow, the worst status stays
  local s=0
  (cd "$work/native" && "$native" "$@" >> ../native.log) || s=$?
  [ "$s" -gt "$status_n" ] && status_n=$s
  s=0
  (cd "$work/windows" && wine "$windows" "$@" >> ../windows.log 2>/dev/null) || s=$?
  [ "$s" -gt "$status_w" ] && status_w=$s
  return 0
}

compare() {  # label
  local label=$1
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

run_case() {  # name, then the options and command
  local label=$1; shift
  prepare
  run_both "$@"
  compare "$label"
}

# Extracts, edits every translation file with the same sed script on both sides, writes back.
writeback_case() {  # name, path pattern, sed script, then the options
  local label=$1 pattern=$2 script=$3; shift 3
  prepare
  run_both "$@" extract "$pattern"
  edit_both "$script"
  run_both "$@" writeback "$pattern"
  compare "$label"
}

edit_both() {  # sed script
  for side in native windows; do
    for t in "$work/$side"/*.ttt; do
      [ -f "$t" ] && LC_ALL=C sed -i -E "$1" "$t"
    done
  done
}

# The same, checked first and undone after: every file is its original again on both sides.
undo_case() {  # name, path pattern, sed script, then the options
  local label=$1 pattern=$2 script=$3 f; shift 3
  prepare
  run_both "$@" extract "$pattern"
  edit_both "$script"
  run_both "$@" check "$pattern"
  run_both "$@" writeback "$pattern"
  run_both "$@" undo "$pattern"
  for f in "${corpus[@]}"; do
    if ! cmp -s "$f" "$work/native/$(basename "$f")"; then
      echo "FAIL $label: $(basename "$f") is not undone"; return 1
    fi
  done
  compare "$label"
}

passed=0 failed=0
tally() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }
check() { tally run_case "$@"; }
check_writeback() { tally writeback_case "$@"; }
check "extract 8-bit" extract '*.*'
check "extract UTF-16" -u extract '*.*'
check "extract whole files, all characters" -x "" -a -m 5 extract '*.*'
check "extract length-prefixed" -b -x "" extract '*.exe'
check "search 8-bit" search '*.*' --find 'kernel'
check "search UTF-16 with escapes" -u search '*.*' --find 'K\x0065rnel'
check "replace 8-bit, shorter replacement" -t '\x2A' search '*.dll' --find 'kernel32' --replace 'K32\0'
check "replace UTF-16 length-prefixed" -u -b search '*.*' --find 'Error' --replace 'Oops'
# 8-bit edits: same length, shorter (filled), longer (cut and reported), escapes, a slot moved
# past the end of its file.
edit8='/^0x/ { s/rror/RROR/g; s/(Microsoft)/MS/; s/(Windows)/\1 und noch mehr Text/; s/=Wine/=\\x57\\tine\\\\/; s/^0x0000(0[0-9A-F]{3})/0x7FFF\1/ }'
check_writeback "write back 8-bit edits" '*.*' "$edit8"
check_writeback "write back 8-bit, no length check, other end character" '*.dll' "$edit8" -n -t '\x2E'
check_writeback "write back length-prefixed" '*.exe' "$edit8" -b -x ""
# UTF-16 edits on the units: same length, and a longer text where a "W" stands.
edit16='s/r\x00r\x00o\x00r\x00/R\x00R\x00O\x00R\x00/g; s/W\x00/W\x00W\x00/g'
check_writeback "write back UTF-16 edits" '*.*' "$edit16" -u
check_writeback "write back UTF-16, no length check" '*.dll' "$edit16" -u -n
check "extract Android string pools, every file" --android extract '*.*'
check_writeback "write back Android string pools" '*.*' '/^0x/ s/=(.)/=译文\1/' --android

# Translation exchange: one target per code page holding texts of that code page, bytes that
# decode in none and escapes; exported to PO and XLIFF, translated alike, imported.
exchange_case() {
  prepare
  for side in native windows; do
    rm -rf "${work:?}/$side"; mkdir -p "$work/$side"
    python3 "$here/exchange-targets.py" "$work/$side"
  done
  local cp
  for cp in 65001 936 950 932 949 1250 1251 1252 1253 1254 1255 1256 1257 1258; do
    run_both export "cp$cp.bin" --codepage "$cp"
    run_both export "cp$cp.bin" --codepage "$cp" --format xliff
  done
  run_both -u export 'wide.bin' --codepage 65001
  run_both -u export 'wide.bin' --codepage 65001 --format xliff
  for side in native windows; do
    for f in "$work/$side"/*.xlf; do python3 "$here/exchange-targets.py" --normalise "$f"; done
    for f in "$work/$side"/*.po; do
      msgen --no-wrap "$f" | msgfilter --keep-header --no-wrap -o "$f" sed -e 's/o/0/g'
    done
  done
  run_both import '*.bin'
  run_both import '*.bin' --format xliff
  compare "export and import, every listed code page"
}
tally exchange_case
tally undo_case "check, write back and undo 8-bit edits" '*.*' "$edit8"
tally undo_case "check, write back and undo UTF-16 edits" '*.dll' "$edit16" -u
tally undo_case "check, write back and undo Android string pools" '*.*' '/^0x/ s/=(.)/=译文\1/' \
  --android
echo "parity: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
