#!/usr/bin/env bash
# Makes the README's pictures: docs/tovikscan-demo.png, the station's window photographed during
# the demonstration's scan (virtual display, title bar drawn by Wine) beside a page it scanned;
# and docs/tovikscan-144dpi.png, the window during the same scan on a display at 150 % (144 dpi).
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

# Again on a 144-dpi display: Wine takes it from the prefix's registry when the station starts.
x11_prefix="$build/wineprefix-x11"
display_dpi() {
  if [ "$1" = 96 ]; then
    WINEPREFIX=$x11_prefix wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f
  else
    WINEPREFIX=$x11_prefix wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
  fi >/dev/null 2>&1 </dev/null || true
  WINEPREFIX=$x11_prefix wineserver -w
}
trap 'display_dpi 96' EXIT
display_dpi 144
rm -f "$shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/station-demo.sh" "$build" "$shot" >/dev/null
out="$root/docs/tovikscan-144dpi.png"
convert "$shot" -fuzz 3% -trim +repage -bordercolor '#236f95' -border 24 \
  -strip -define png:exclude-chunks=date,time "$out"
echo "$out"
