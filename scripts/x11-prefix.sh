#!/usr/bin/env bash
# Prepares (once) a second Wine prefix of the build tree that draws with Wine's X11 driver, for
# a person at the screen or screenshots (the test prefix's null driver never draws to X), and
# installs the virtual scanner there with a feeder of a few duplex sheets.
# Usage: x11-prefix.sh BUILD_DIR REFILLS   (run with DISPLAY set; prints the prefix path)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$1"
refills=${2:-0}
export WINEPREFIX="$tovik_build_dir/wineprefix-x11"
scanner="$tovik_build_dir/sources/virtual-scanner/sane.ds"
[ -f "$scanner" ] || { echo "run: $scanner is not built" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/.tovik-ready" ]; then
  echo "run: creating Wine prefix $WINEPREFIX" >&2
  rm -rf "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  touch "$WINEPREFIX/.tovik-ready"
fi
tovik_install_wine_fonts

twain="$WINEPREFIX/drive_c/windows/twain_32"
mkdir -p "$twain"
cp "$scanner" "$twain/sane.ds"
# A4-ish sheets at 100 dpi, slow enough for the progress bar to be seen moving; the second
# sheet's back is blank, and the scanner lets the window paint between its pages, as drivers with
# a progress window do.
cat >"$twain/virtual-scanner.ini" <<INI
devices = KV-S1027C Virtual
sheets = 4
sides = 2
width = 850
height = 1100
resolution = 100
pixel_type = rgb
time_per_page_ms = 300
blank_pages = 4
pump_messages = 1
refills = $refills
INI
echo "$WINEPREFIX"
