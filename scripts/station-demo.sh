#!/usr/bin/env bash
# The demonstration of run.sh on a display without a person (a virtual one): the station opens,
# Auto is ticked from outside, the feeder's sheets are scanned, a screenshot is taken during the
# scan, the window is closed. Every wait is bounded.
# Usage: station-demo.sh BUILD_DIR SCREENSHOT.png   (run with DISPLAY set)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$1"
build=$tovik_build_dir
shot=$2
pages=8 # the scenario's 4 duplex sheets
WINEPREFIX=$(bash "$here/x11-prefix.sh" "$build" 0) || exit 1
export WINEPREFIX
folder_win='C:\TovikScans'
folder="$WINEPREFIX/drive_c/TovikScans"
mkdir -p "$folder"
rm -f "$folder"/Scan*.jpg "$folder"/Blank/Scan*.jpg

exe=Z:$(echo "$build/app/TovikScan.exe" | tr / '\\')
demo="$build/tests/fixtures/station-driver/StationDemo.exe"
report=$(mktemp "${TMPDIR:-/tmp}/tovik-demo.XXXXXX")
tovik_start_wineserver
# A virtual desktop gives the window a frame without a window manager.
timeout 300 wine explorer /desktop=TovikScan,1024x768 "$demo" "$exe" "$folder_win" "$pages" \
  >"$report" 2>/dev/null </dev/null &
runner=$!

# Five pages on disk: the scan is under way and the window shows a whole sheet: photograph it then.
for _ in $(seq 1 600); do
  [ "$(ls "$folder"/Scan*.jpg "$folder"/Blank/Scan*.jpg 2>/dev/null | wc -l)" -ge 5 ] && break
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.1
done
import -window root "$shot" 2>/dev/null || echo "run: the screenshot could not be taken" >&2
wait "$runner"
rc=$?
cat "$report"
rm -f "$report"
wineserver -k >/dev/null 2>&1 || true
exit $rc
