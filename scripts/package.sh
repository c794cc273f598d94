#!/usr/bin/env bash
# Sets up, builds and packages the Windows release: dist/TovikScan-<version>-win32.zip and the
# installer dist/TovikScan-<version>.msi (the version is the one in the file VERSION). Prints
# their paths and the zip's contents.
# Usage: package.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}

bash "$here/build.sh" "$build"
made=$(bash "$here/make-package.sh" "$build" "$root/dist" | tail -2)
zip=$(head -1 <<<"$made")
python3 -m zipfile -l "$zip"
echo "package: $zip"
echo "package: $(tail -1 <<<"$made")"
