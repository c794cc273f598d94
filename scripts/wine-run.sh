#!/usr/bin/env bash
# Runs a Windows program under the build tree's Wine prefix; CTest uses this as its emulator.
# Usage: wine-run.sh --build BUILD_DIR program.exe [args...]
set -euo pipefail
[ "${1:-}" = "--build" ] || { echo "usage: wine-run.sh --build BUILD_DIR program.exe [args...]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$2"
shift 2
tovik_start_wineserver
exec wine "$@"
