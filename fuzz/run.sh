#!/usr/bin/env bash
# Runs every fuzz target in turn for SECONDS seconds each (default 60), one process and one
# worker at a time: run.sh FUZZ_BUILD_DIR [SECONDS]. Each starts from its seeds in fuzz/corpus
# and keeps the inputs it learns in FUZZ_BUILD_DIR/corpus/<target>, never in the source tree;
# a failing input goes to FUZZ_BUILD_DIR/findings, to be added to the seeds once it is fixed.
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in ScanImageFuzz WriteBackFuzz EscapeFuzz SearchFuzz AndroidPoolFuzz JournalFuzz \
    ExchangeFuzz; do
  work="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$work" "$build/findings"
  dict=()
  [ -f "$here/$target.dict" ] && dict=(-dict="$here/$target.dict")
  if "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      "${dict[@]}" -artifact_prefix="$build/findings/$target-" "$work" "$here/corpus/$target" \
      > "$log" 2>&1; then
    result=ok
  else
    result="FAILED (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz $target: ${runs:-?} executions in ${seconds}s, $result"
done
exit "$status"
