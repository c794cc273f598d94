#!/usr/bin/env bash
# Runs a Windows program under the build tree's Wine prefix; CTest uses this as its emulator.
# Usage: wine-run.sh --build BUILD_DIR program.exe [args...]
set -uo pipefail
[ "${1:-}" = "--build" ] || { echo "usage: wine-run.sh --build BUILD_DIR program.exe [args...]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$2"
shift 2
tovik_start_wineserver
# Wine's own background processes inherit the program's output handles; with files instead
# of the caller's pipe, nobody waits for them to close it.
out=$(mktemp "${TMPDIR:-/tmp}/tovik-wine.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/tovik-wine.XXXXXX")
wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $rc
