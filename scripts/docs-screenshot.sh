#!/usr/bin/env bash
# Makes the README's picture, docs/tovikscan-demo.png: the station's window photographed during
# the demonstration's scan (virtual display, title bar drawn by Wine) beside a page it scanned.
# Usage: docs-screenshot.sh [BUILD_DIR]   (default: build; builds first)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
bash "$here/build.sh" "$build" >/dev/null
. "$here/wine-env.sh" "$build"
build=$tovik_build_dir
unset TOVIK_VSCANNER_SCENARIO

shot="$build/station-during-scan.png"
rm -f "$shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/station-demo.sh" "$build" "$shot" >/dev/null
page=$(ls "$build/wineprefix-x11/drive_c/TovikScans"/Scan*F.jpg | head -1)
out="$root/docs/tovikscan-demo.png"
mkdir -p "$root/docs"
# The window without the empty desktop around it, then the page at a readable size.
convert \( "$shot" -fuzz 3% -trim +repage -bordercolor '#236f95' -border 24 \) \
  \( "$page" -resize x560 -bordercolor '#9aa0a6' -border 1 \) \
  -background white -gravity center -splice 0x0 +append -bordercolor white -border 12 \
  -strip -define png:exclude-chunks=date,time "$out"
echo "$out"
