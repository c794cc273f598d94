#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds TovikScan and runs every test under Wine.
# Usage: test.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}

bash "$here/build.sh" "$build"
. "$here/wine-env.sh" "$build"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
tovik_start_wineserver
cd "$build"
ctest --output-on-failure --timeout 900 -j1
