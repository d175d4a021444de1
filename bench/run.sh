#!/usr/bin/env bash
# Benchmarks glosmorin-cli against peers on the same ~500 MB input, side by side in one run.
# Prints one table: case, our median with the minimum and maximum of our runs, the same for the
# peer, the ratio of the medians (ours / peer's), the target. The two commands of a case run
# alternately, $runs times each, so both meet the same load. Where we write a file, the peer
# writes one too, in the same folder.
# Usage: bench/run.sh path/to/glosmorin-cli [runs]; GLOS_BENCH_ONLY=android or
# GLOS_BENCH_ONLY=exchange runs those rows alone.
set -euo pipefail
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
cli=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
data=${GLOS_BENCH_DATA:-$here/data}
mkdir -p "$data"
input=$data/input.bin
wine_dlls=/usr/lib/x86_64-linux-gnu/wine

# Wall seconds of one run, its output read through a pipe as a user's terminal would.
run_once() {
  local start end
  start=$(date +%s%N)
  "$@" 2>&1 | cat > /dev/null || true
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}
# The median, minimum and maximum of the numbers on standard input, each times factor.
spread() {
  sort -g | awk -v f="${1:-1}" '{a[NR] = $1 * f}
    END {printf "%.3f %.3f %.3f", a[int((NR + 1) / 2)], a[1], a[NR]}'
}
prepare() { :; }
# Runs the functions ours_cmd and peer_cmd alternately, prepare (untimed) before each run;
# leaves "median minimum maximum" of each, times the optional factors, in ours and peer.
pair() {
  local -a a=() b=()
  local i
  for ((i = 0; i < runs; i++)); do
    prepare; a+=("$(run_once ours_cmd)")
    prepare; b+=("$(run_once peer_cmd)")
  done
  ours=$(printf '%s\n' "${a[@]}" | spread "${1:-1}")
  peer=$(printf '%s\n' "${b[@]}" | spread "${2:-1}")
}

rows=()
row() {  # label, ours and peer as "median minimum maximum", target
  local -a o p
  read -ra o <<< "$2"
  read -ra p <<< "$3"
  rows+=("$(printf '%-62s %8.3f %-15s %8.3f %-15s %6.3f  %s' "$1" "${o[0]}" \
    "$(printf '(%.3f-%.3f)' "${o[1]}" "${o[2]}")" "${p[0]}" \
    "$(printf '(%.3f-%.3f)' "${p[1]}" "${p[2]}")" "$(echo "scale=4; ${o[0]} / ${p[0]}" | bc -l)" "$4")")
  echo "${rows[-1]}" >&2
}

# Android: --android extraction of framework-res's resources.arsc (31.9 MB, 127,684 strings)
# against aapt dump strings of the same APK, each writing its output to a file.
android_case() {
  local apk=/usr/share/android-framework-res/framework-res.apk dir count
  dir=$(mktemp -d "$data/android.XXXXXX")
  unzip -q -o "$apk" resources.arsc -d "$dir"
  ours_cmd() { "$cli" --android extract "$dir/resources.arsc"; }
  peer_cmd() { aapt dump strings "$apk" > "$dir/strings.txt"; }
  pair
  count=$(grep -c "^0x" "$dir/resources.arsc.ttt")
  echo "framework-res resources.arsc: $count strings" >&2
  row "extract --android framework-res arsc vs aapt dump strings (s)" \
    "$ours" "$peer" "<= 1"
  rm -rf "$dir"
}

print_table() {
  echo
  printf 'machine: %s cores, %s, vectors %s; %s\n' "$(nproc)" \
    "$(lscpu | sed -n 's/^Model name: *//p')" \
    "$(grep -o -w 'avx512bw\|avx2' /proc/cpuinfo | sort -u | tr '\n' ' ' | sed 's/ $//')" \
    "$(date -u '+%Y-%m-%d %H:%M UTC')"
  printf '%s runs each; load average %s at the start, %s at the end\n' "$runs" "$load_start" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
  printf '%-62s %8s %-15s %8s %-15s %6s  %s\n' "case" "ours" "(min-max)" "peer" "(min-max)" \
    "ratio" "target"
  printf '%s\n' "${rows[@]}"
}

# GLOS_BENCH_ONLY=android measures that case alone, without building the large input.
if [ "${GLOS_BENCH_ONLY:-}" = android ]; then
  android_case
  print_table
  exit 0
fi

# The input: real PE DLLs concatenated up to about 500 MB, built once.
if [ ! -f "$input" ] || [ "$(stat -c %s "$input")" -lt 400000000 ]; then
  echo "building $input ..." >&2
  : > "$input"
  for f in "$wine_dlls"/x86_64-windows/*.dll "$wine_dlls"/i386-windows/*.dll; do
    cat "$f" >> "$input"
    [ "$(stat -c %s "$input")" -ge 500000000 ] && break
  done
  # Short of DLLs: repeat what there is.
  while [ "$(stat -c %s "$input")" -lt 500000000 ]; do
    head -c 100000000 "$input" >> "$input.more"; cat "$input.more" >> "$input"; rm -f "$input.more"
  done
fi
size=$(stat -c %s "$input")

# GLOS_BENCH_ONLY=exchange measures the translation exchange rows alone, on the input above.
only=${GLOS_BENCH_ONLY:-}
if [ "$only" != exchange ]; then
# The same DLLs as separate files, one folder per architecture (their names repeat).
dlls=$data/dlls
if [ ! -d "$dlls" ]; then
  echo "copying the DLLs to $dlls ..." >&2
  mkdir -p "$dlls.new/x86_64" "$dlls.new/i386"
  cp "$wine_dlls"/x86_64-windows/*.dll "$dlls.new/x86_64/"
  cp "$wine_dlls"/i386-windows/*.dll "$dlls.new/i386/" 2>/dev/null || true
  mv "$dlls.new" "$dlls"
fi
find "$dlls" -name '*.ttt' -delete

# Length-prefixed growth: the first 50 MB of the input, then that twice and four times over,
# so that only the size changes.
for mb in 50 100 200; do
  if [ ! -f "$data/prefix$mb.bin" ]; then
    head -c 50000000 "$input" > "$data/prefix50.bin"
    cat "$data/prefix50.bin" "$data/prefix50.bin" > "$data/prefix100.bin"
    cat "$data/prefix100.bin" "$data/prefix100.bin" > "$data/prefix200.bin"
  fi
done

# Bytes an extraction with the default exclude list scans in a file: the raw data of every
# section whose name, followed by "|", the list does not hold; the whole file if it is no image.
exclude='.text|.bss|.rsrc|.edata|.idata|.pdata|.debug|'
scanned_bytes() {
  local f=$1 whole
  whole=$(stat -c %s "$f")
  local -a h pe t
  read -ra h <<< "$(od -An -v -tu1 -N64 "$f" | tr "\n" " ")"
  if [ "${#h[@]}" -lt 64 ] || [ "${h[0]}" != 77 ] || [ "${h[1]}" != 90 ]; then
    echo "$whole"; return
  fi
  local at=$((h[60] | h[61] << 8 | h[62] << 16 | h[63] << 24))
  read -ra pe <<< "$(od -An -v -tu1 -j "$at" -N24 "$f" | tr "\n" " ")"
  if [ "${pe[*]:0:4}" != "80 69 0 0" ]; then echo "$whole"; return; fi
  local count=$((pe[6] | pe[7] << 8)) optional=$((pe[20] | pe[21] << 8))
  [ "$count" -eq 0 ] && { echo 0; return; }
  read -ra t <<< "$(od -An -v -tu1 -j $((at + 24 + optional)) -N $((count * 40)) "$f" | tr "\n" " ")"
  local total=0 i k c octal char name
  for ((i = 0; i < count; i++)); do
    name=""
    for ((k = 0; k < 8; k++)); do
      c=${t[i * 40 + k]}
      [ "$c" = 0 ] && break
      printf -v octal '%03o' "$c"
      printf -v char "\\$octal"
      name+=$char
    done
    [[ "$exclude" == *"$name|"* ]] && continue
    total=$((total + (t[i * 40 + 16] | t[i * 40 + 17] << 8 | t[i * 40 + 18] << 16 |
      t[i * 40 + 19] << 24)))
  done
  echo "$total"
}
if [ ! -f "$dlls.scan-size" ]; then
  total=0
  while IFS= read -r f; do total=$((total + $(scanned_bytes "$f"))); done \
    < <(find "$dlls" -name '*.dll')
  echo "$total" > "$dlls.scan-size"
fi
scanned=$(cat "$dlls.scan-size")
dll_count=$(find "$dlls" -name '*.dll' | wc -l)
fi

work=$(mktemp -d "$data/run.XXXXXX")
# Undo journals of the runs stay inside the run's folder, not in the user's state folder.
export XDG_STATE_HOME=$work/state
shm=""
cleanup() {
  rm -rf "$work"
  [ -n "$shm" ] && rm -rf "$shm"
  [ "$only" = exchange ] || find "$dlls" -name '*.ttt' -delete
}
trap cleanup EXIT
ln "$input" "$work/input.bin" 2>/dev/null || cp "$input" "$work/input.bin"

mb=$((size / 1000000))

# Translation exchange: the whole input's translation file exported to PO and imported back,
# each against the extraction that makes that translation file.
exchange_rows() {
  "$cli" -x "" extract "$work/input.bin" > /dev/null
  local entries
  entries=$(grep -c '^0x' "$work/input.bin.ttt")
  peer_cmd() { "$cli" -x "" extract "$work/input.bin"; }
  ours_cmd() { "$cli" export "$work/input.bin"; }
  pair
  row "export to PO, $entries entries, vs their extraction (s)" "$ours" "$peer" "<= 1"
  "$cli" export "$work/input.bin" > /dev/null
  local units
  units=$(grep -c '^msgid ' "$work/input.bin.po")
  ours_cmd() { "$cli" import "$work/input.bin"; }
  pair
  row "import from PO, $((units - 1)) units, vs the extraction (s)" "$ours" "$peer" "<= 1"
  rm -f "$work/input.bin.po"
}
if [ "$only" = exchange ]; then
  exchange_rows
  print_table
  exit 0
fi

ours_cmd() { "$cli" -x "" extract "$work/input.bin"; }
peer_cmd() { strings -a -t x -n 4 "$work/input.bin" > "$work/input.bin.strings"; }
pair
row "extract 8-bit -x \"\" vs strings -a -t x -n 4 (s)" "$ours" "$peer" "<= 0.2"

# The same, as a first extraction: into a folder of its own where no translation file exists
# yet, so that none of its pages can be reused (see the section-by-section rows below).
first_count=0
prepare() {
  first_count=$((first_count + 1))
  mkdir -p "$work/first$first_count"
  ln "$input" "$work/first$first_count/input.bin"
}
ours_cmd() { "$cli" -x "" extract "$work/first$first_count/input.bin"; }
pair
prepare() { :; }
row "  the same as a first extraction, no translation file yet (s)" "$ours" "$peer" "(measured)"

ours_cmd() { "$cli" -x "" -u extract "$work/input.bin"; }
peer_cmd() { strings -a -t x -n 4 -e l "$work/input.bin" > "$work/input.bin.strings"; }
pair
row "extract UTF-16 -u vs strings -e l (s)" "$ours" "$peer" "<= 0.2"

# Peak memory of the 8-bit extraction against the mapped file and 64 MB.
"$cli" -x "" extract "$work/input.bin" > /dev/null
limit=$(echo "scale=1; $size / 1048576 + 64" | bc)
rss=()
for ((i = 0; i < runs; i++)); do
  kb=$( { /usr/bin/time -f %M "$cli" -x "" extract "$work/input.bin" > /dev/null; } 2>&1 | tail -1)
  rss+=("$(echo "scale=1; $kb / 1024" | bc)")
done
row "extract 8-bit peak RSS vs file + 64 MB (MiB)" \
  "$(printf '%s\n' "${rss[@]}" | spread)" "$limit $limit $limit" "<= 1"

# Section by section: the DLLs as files with the default exclude list, per GB that the scan
# covers, against the whole-file extraction per GB of input. Each run extracts into folders of
# its own (hard links to the same files, made untimed), as a first extraction does: the disk of
# this machine has ext4 without a journal, where creating a file right after others were deleted
# scans past every inode freed in the last minutes, and deleting one waits for the disk's
# discard. Replacing the translation files of an earlier run pays both; the row after measures it.
fresh=0
fresh_copies() {  # DLL folder, whole input, where the copies go
  fresh=$((fresh + 1))
  fresh_dlls=$3/fresh$fresh/dlls
  fresh_input=$3/fresh$fresh/input.bin
  mkdir -p "$fresh_dlls"
  cp -al "$1/." "$fresh_dlls/"
  ln "$2" "$fresh_input"
}
by_section() {  # label, DLL folder, whole input, where the copies go
  local folder=$2 whole_input=$3 copies=$4
  ours_cmd() { "$cli" -r extract "$fresh_dlls/*.dll"; }
  peer_cmd() { "$cli" -x "" extract "$fresh_input"; }
  prepare() { fresh_copies "$folder" "$whole_input" "$copies"; }
  pair "$(echo "scale=6; 1000000000 / $scanned" | bc)" "$(echo "scale=6; 1000000000 / $size" | bc)"
  prepare() { :; }
  row "extract $dll_count DLLs by section, $1 (s/GB scanned vs whole)" "$ours" "$peer" "<= 1"
}
by_section "disk" "$dlls" "$input" "$work"
# The same, each run replacing the translation files of the run before.
"$cli" -r extract "$dlls/*.dll" > /dev/null
ours_cmd() { "$cli" -r extract "$dlls/*.dll"; }
peer_cmd() { "$cli" -x "" extract "$work/input.bin"; }
pair "$(echo "scale=6; 1000000000 / $scanned" | bc)" "$(echo "scale=6; 1000000000 / $size" | bc)"
row "  the same replacing the translation files of the run before" "$ours" "$peer" "(measured)"
if [ -d /dev/shm ] && [ "$(df -k --output=avail /dev/shm | tail -1)" -gt 3000000 ]; then
  shm=$(mktemp -d /dev/shm/glos-bench.XXXXXX)
  cp -r "$dlls" "$shm/dlls"
  cp "$input" "$shm/input.bin"
  by_section "tmpfs" "$shm/dlls" "$shm/input.bin" "$shm"
  rm -rf "$shm"
  shm=""
fi

# Search without replacement for rare patterns.
find8=CoInitializeSecurity
ours_cmd() { "$cli" search "$work/input.bin" --find "$find8"; }
peer_cmd() { rg -c -a -F "$find8" "$work/input.bin"; }
hits=$("$cli" search "$work/input.bin" --find "$find8" | grep -c ':[0-9A-F]\{8\}$' || true)
pair
row "search 8-bit '$find8' ($hits hits) vs rg -c -a -F (s)" "$ours" "$peer" "<= 1"

find16="validity period"
printf '%s' "$find16" | sed 's/./&\x00/g' > "$work/find16.pat"
ours_cmd() { "$cli" -u search "$work/input.bin" --find "$find16"; }
peer_cmd() { rg -c -a -F -f "$work/find16.pat" "$work/input.bin"; }
hits=$("$cli" -u search "$work/input.bin" --find "$find16" | grep -c ':[0-9A-F]\{8\}$' || true)
pair
row "search UTF-16 '$find16' ($hits hits) vs rg -F -f UTF-16LE (s)" "$ours" "$peer" "<= 1"

# Write-back of 100,000 entries of the 8-bit extraction, their texts upper-cased (same
# lengths), against cp of the file: once the first 100,000 entries, once 100,000 spread over
# the whole file, each on a page of its own.
entries=$(grep -c '^0x' "$work/input.bin.ttt")
step=$((entries / 100000))
translate='BEGIN {n = 0} NR == 1 {sub(/\r$/, ""); printf "%s\r\n", $0; next}
  (NR - 2) % step == 0 && n < 100000 {sub(/\r$/, ""); i = index($0, "=");
   printf "%s%s\r\n", substr($0, 1, i), toupper(substr($0, i + 1)); n++}'
awk -v step=1 "$translate" "$work/input.bin.ttt" > "$work/first.bin.ttt"
awk -v step="$step" "$translate" "$work/input.bin.ttt" > "$work/spread.bin.ttt"
cp "$input" "$work/first.bin"
cp "$input" "$work/spread.bin"
prepare() { rm -f "$work/copy.bin"; }
peer_cmd() { cp "$work/input.bin" "$work/copy.bin"; }
ours_cmd() { "$cli" --no-undo writeback "$work/first.bin"; }
pair
row "write-back 100,000 entries, the first ones, no journal, vs cp (s)" "$ours" "$peer" "<= 0.1"
# What the timer itself takes (the forks of date, the pipe to cat), which every row's both sides
# include: the least any command can show against cp.
ours_cmd() { true; }
pair
row "  the timer alone, a run of true, vs cp (s)" "$ours" "$peer" "(measured)"
ours_cmd() { "$cli" --no-undo writeback "$work/spread.bin"; }
pair
row "write-back 100,000 entries, 1 in $step over the file, no journal, vs cp (s)" "$ours" "$peer" \
  "(measured)"
# The journal's cost: a first write-back, which finds no journal and writes one to disk before
# the target changes, against the same without it.
prepare() { rm -rf "$XDG_STATE_HOME"; }
ours_cmd() { "$cli" writeback "$work/first.bin"; }
peer_cmd() { "$cli" --no-undo writeback "$work/first.bin"; }
pair
row "write-back 100,000 entries, the first ones, with vs without journal (s)" "$ours" "$peer" \
  "<= 1.5"
prepare() { :; }
rm -f "$work/copy.bin" "$work/first.bin" "$work/spread.bin"

# Length-prefixed scans: time against twice the time of half the size.
growth() {  # label, options, size, half size
  growth_options=$2 growth_size=$3 growth_half=$4
  ours_cmd() { "$cli" -x "" $growth_options extract "$data/prefix$growth_size.bin"; }
  peer_cmd() { "$cli" -x "" $growth_options extract "$data/prefix$growth_half.bin"; }
  pair 1 2
  row "$1 $3 MB vs 2 x $4 MB (s)" "$ours" "$peer" "~1 (linear)"
}
set -f  # the options are split into words, never globbed
growth "extract length-prefixed 8-bit -b" "-b" 100 50
growth "extract length-prefixed 8-bit -b" "-b" 200 100
growth "extract length-prefixed UTF-16 -b -u -a" "-b -u -a" 200 100
set +f
rm -f "$data"/prefix*.bin.ttt

android_case
exchange_rows

echo
printf 'input %s MB of PE DLLs\n' "$mb"
print_table
exit 0
