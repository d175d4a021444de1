#!/usr/bin/env bash
# Benchmarks glosmorin-cli against peers on the same ~500 MB input, side by side in one run.
# Prints one table: case, our median, the peer's median, the ratio (ours / peer's), the target.
# Usage: bench/run.sh path/to/glosmorin-cli [runs]
set -euo pipefail
cli=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
data=${GLOS_BENCH_DATA:-$here/data}
mkdir -p "$data"
input=$data/input.bin

# The input: real PE DLLs concatenated up to about 500 MB, built once.
if [ ! -f "$input" ] || [ "$(stat -c %s "$input")" -lt 400000000 ]; then
  echo "building $input ..." >&2
  : > "$input"
  for f in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll \
           /usr/lib/x86_64-linux-gnu/wine/i386-windows/*.dll; do
    cat "$f" >> "$input"
    [ "$(stat -c %s "$input")" -ge 500000000 ] && break
  done
  # Short of DLLs: repeat what there is.
  while [ "$(stat -c %s "$input")" -lt 500000000 ]; do
    head -c 100000000 "$input" >> "$input.more"; cat "$input.more" >> "$input"; rm -f "$input.more"
  done
fi
size=$(stat -c %s "$input")

# Median wall time in seconds of a command run $runs times (stdout to a pipe, as a user would).
median() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" | cat > /dev/null
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]}'
}

work=$(mktemp -d "$data/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
ln "$input" "$work/input.bin" 2>/dev/null || cp "$input" "$work/input.bin"

printf '%-44s %10s %10s %8s %s\n' "case ($((size / 1000000)) MB, $runs runs)" "ours s" "peer s" "ratio" "target"
row() {  # label, ours, peer, target
  printf '%-44s %10s %10s %8s %s\n' "$1" "$2" "$3" "$(echo "scale=3; $2 / $3" | bc -l)" "$4"
}

ours=$(median "$cli" -x "" extract "$work/input.bin")
peer=$(median strings -a -t x -n 4 "$work/input.bin")
row "extract 8-bit vs strings -a -t x -n 4" "$ours" "$peer" "<= 0.2"

ours=$(median "$cli" -x "" -u extract "$work/input.bin")
peer=$(median strings -a -t x -n 4 -e l "$work/input.bin")
row "extract UTF-16 vs strings -e l" "$ours" "$peer" "<= 0.2"

exit 0
