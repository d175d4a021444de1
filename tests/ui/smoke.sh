#!/usr/bin/env bash
# Black-box run of the real glosmorin.exe under Wine: starts it with a path on its command line,
# drives it from a second program, and keeps screenshots of the folded and the unfolded window.
#   smoke.sh GLOSMORIN_EXE DRIVER_EXE ARTEFACT_DIR
# Needs a display (DISPLAY); exits 77 (skipped) without one.
set -euo pipefail
program=$(realpath "$1")
driver=$(realpath "$2")
artefacts=$3
if [ -z "${DISPLAY:-}" ]; then
  echo "smoke: no display, skipped (run through scripts/xvfb-wine-test.sh)"
  exit 77
fi
export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
mkdir -p "$artefacts"
work=$(mktemp -d)
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A blank in the directory makes Wine quote the path on the command line.
mkdir -p "$work/two words"
cp "$program" "$work/two words/glosmorin.exe"
{ head -c 600 /dev/zero; printf 'Translate this text\0'; head -c 600 /dev/zero; } > "$work/two words/sample.bin"
sample=$(winepath -w "$work/two words/sample.bin")

fail() {
  echo "smoke: $*" >&2
  exit 1
}
field() {  # name, driver output
  printf '%s\n' "$2" | sed -n "s/^$1: //p" | head -n 1
}
shoot() {  # name, "left top width height"
  local left top width height
  read -r left top width height <<< "$2"
  import -window root "$work/root.png"
  convert "$work/root.png" -crop "${width}x${height}+${left}+${top}" +repage "$artefacts/$1.png"
}

wine "$work/two words/glosmorin.exe" "$sample" &
app=$!

out=$(wine "$driver" wait) || fail "the window did not open"
echo "$out"
[ "$(field path "$out")" = "$sample" ] || fail "path field is not the command-line path"
[ "$(field ok "$out")" = enabled ] || fail "OK is not enabled"
[ "$(field caption "$out")" = "提取" ] || fail "OK caption is not 提取"
folded=$(field window "$out")
shoot folded "$folded"

out=$(wine "$driver" run) || fail "no window to run"
echo "$out"
expected="log: ◆ 已经成功提取字符串: $sample.ttt"
printf '%s\n' "$out" | tr -d '\r' | grep -qxF "$expected" || fail "log line missing: $expected"
[ -f "$work/two words/sample.bin.ttt" ] || fail "no translation file"
unfolded=$(field window "$out")
[ "${unfolded##* }" -gt "${folded##* }" ] || fail "the window did not unfold"
shoot unfolded "$unfolded"

wine "$driver" exit
wait "$app" || fail "glosmorin.exe ended with an error"
app=""
grep -q '^Glosmorin=-2147221504' "$work/two words/glosmorin.ini" || fail "options not saved at exit"
echo "smoke: passed; screenshots in $artefacts"
