#!/usr/bin/env bash
# Runs the whole test command while every core is kept busy, to show that no test depends on how
# fast the machine is. One busy loop per core, stopped however the run ends.
# Usage: test-under-load.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
busy=()
stop_busy() { [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null || true; }
trap stop_busy EXIT
for _ in $(seq "$(nproc)"); do
  yes >/dev/null &
  busy+=($!)
done
echo "test-under-load: ${#busy[@]} busy loops on $(nproc) cores"
bash "$here/test.sh" "$@"
