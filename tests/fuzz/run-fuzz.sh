#!/usr/bin/env bash
# Runs each fuzz target for SECONDS from its seed corpus (corpus/<target>/, read only: what the
# run finds goes to a scratch corpus) and prints how many inputs it executed. A crash, a sanitizer
# report or a leak fails the run; the input that caused it is kept in BIN_DIR/findings/.
# Usage: run-fuzz.sh BIN_DIR CORPUS_DIR SECONDS TARGET...
set -euo pipefail
bin=$1 corpus=$2 seconds=$3
shift 3
findings=$bin/findings
mkdir -p "$findings"
status=0
for target in "$@"; do
  scratch=$(mktemp -d)
  log=$bin/$target.log
  # One worker, a fixed seed: the same inputs are tried on a fast or a busy machine, only fewer.
  if "$bin/$target" -seed=1 -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$scratch" "$corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ran clean, $runs inputs in ${seconds}s"
  else
    echo "fuzz: $target FAILED (inputs kept in $findings):"
    grep -v '^#' "$log" | tail -60
    status=1
  fi
  rm -rf "$scratch"
done
exit $status
