#!/usr/bin/env bash
# Translation exchange through the real tools: a small program built twice with mingw-w64,
# exported, checked by gettext and translate-toolkit, translated with msgen and msgfilter,
# imported, written back and extracted again; then carried to the new release with msgmerge.
set -euo pipefail
cli=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# A tool run that must succeed and print nothing but translate-toolkit's progress lines.
quiet() {
  local out
  if ! out=$("$@" 2>&1 >/dev/null); then fail "$* exited with an error: $out"; return; fi
  out=$(printf '%s\n' "$out" | grep -v -e '^processing [0-9]* files' -e '^\[#*\] *100%' -e '^$' || true)
  [ -z "$out" ] || fail "$* warned: $out"
}

# The texts of a translation file, one per line, in file order.
texts() { LC_ALL=C sed -n 's/^0x[0-9A-F]*,[0-9]*=//p' "$1" | tr -d '\r'; }

# The translation every test applies: same length, so every text fits.
translate() { msgen --no-wrap "$1" | msgfilter --keep-header --no-wrap -o "$1" sed -e 's/e/E/g'; }

mkdir old new
x86_64-w64-mingw32-gcc -O1 -o old/app.exe "$here/program.c"
x86_64-w64-mingw32-gcc -O1 -DNEW_RELEASE -o new/app.exe "$here/program.c"

# Old release: extract, export, check with the tools, translate, import, write back.
"$cli" -a extract old/app.exe > /dev/null
cp old/app.exe.ttt original.ttt
"$cli" export old/app.exe --codepage 936 > /dev/null
quiet msgfmt -c -o /dev/null old/app.exe.po
quiet pocount old/app.exe.po
quiet po2xliff old/app.exe.po converted.xlf
grep -q 'room: 12 bytes' old/app.exe.po || fail "no room comment"
[ "$(grep -c '^#: app.exe:0x[0-9A-F]* app.exe:0x' old/app.exe.po)" -ge 1 ] || fail "no unit with two locations"
"$cli" export old/app.exe --codepage 936 --format xliff > /dev/null
quiet xliff2po old/app.exe.xlf from-xliff.po
grep -q 'maxbytes="12" size-unit="byte"' old/app.exe.xlf || fail "no maxbytes in the XLIFF file"
grep -q '^msgid "Chinese: 你好 world"' old/app.exe.po || fail "936 text not decoded"

translate old/app.exe.po
cp old/app.exe.po translated.po
"$cli" import old/app.exe > /dev/null || fail "import reported a problem"
# The same translation through XLIFF gives the same translation file.
cp old/app.exe.ttt via-po.ttt
po2xliff translated.po old/app.exe.xlf > /dev/null 2>&1
"$cli" import old/app.exe --format xliff > /dev/null || fail "XLIFF import reported a problem"
cmp -s via-po.ttt old/app.exe.ttt || fail "PO and XLIFF imports differ"
"$cli" writeback old/app.exe > /dev/null
"$cli" -a extract old/app.exe > /dev/null
diff <(texts original.ttt | sed -e 's/e/E/g') <(texts old/app.exe.ttt) > /dev/null ||
  fail "written back texts are not the translated ones"

# New release: extract and export it, merge the old translations in, import, write back.
"$cli" -a extract new/app.exe > /dev/null
"$cli" export new/app.exe --codepage 936 > /dev/null
msgmerge --quiet --no-wrap -o new/app.exe.po translated.po new/app.exe.po
quiet msgfmt -c -o /dev/null new/app.exe.po
"$cli" import new/app.exe > /dev/null || fail "new release import reported a problem"
"$cli" writeback new/app.exe > /dev/null
"$cli" -a extract new/app.exe > /dev/null
texts new/app.exe.ttt > after.txt
for text in "HEllo, world" "OpEn thE filE" "Path: C:\\\\Program FilEs\\\\Tool" "ChinEsE: "; do
  grep -qF "$text" after.txt || fail "new release lacks the carried translation $text"
done
for text in "Check for updates now" "Your copy is up to date"; do
  grep -qxF "$text" after.txt || fail "new release text $text was changed"
done
[ "$(grep -cxF 'HEllo, world' after.txt)" -eq 3 ] || fail "a shared text is not translated at all three places"

# The old release's file no longer matches the new build: every unit is stale, exit 1.
cp translated.po new/app.exe.po
sed -i 's/app\.exe:0x0000/app.exe:0x0001/g' new/app.exe.po
status=0; "$cli" import new/app.exe > stale.log || status=$?
[ "$status" -eq 1 ] && grep -q '^◎ 原文与文件内容不符' stale.log || fail "stale file not reported"

[ "$failed" -eq 0 ] && echo "exchange tools: all passed"
[ "$failed" -eq 0 ]
