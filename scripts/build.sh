#!/usr/bin/env bash
# Everything needed to build TovikScan on a fresh Debian 12 machine: packages, third-party
# libraries, the Windows build and the build tree's Wine prefix (with the virtual scanner).
# Usage: build.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

bash "$here/setup-machine.sh"
prefix=$(bash "$here/build-thirdparty.sh" | tail -1)
bash "$here/prepare-wineprefix.sh" "$build"

jobs=${TOVIK_JOBS:-$(nproc)}
cmake -S "$root" -B "$build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTOVIK_THIRDPARTY_PREFIX="$prefix" \
  -DTOVIK_WINEPREFIX="$build/wineprefix" >/dev/null
cmake --build "$build" -j"$jobs"
