#!/usr/bin/env bash
# Sets up, builds and packages the Windows release: dist/TovikScan-<version>-win32.zip (the
# version is the one in the file VERSION). Prints the zip's path and contents.
# Usage: package.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}

bash "$here/build.sh" "$build"
zip=$(bash "$here/make-package.sh" "$build" "$root/dist" | tail -1)
python3 -m zipfile -l "$zip"
echo "package: $zip"
