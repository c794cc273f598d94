#!/usr/bin/env bash
# One long batch on Auto through the real station: the virtual scanner's feeder holds PAGES/2
# duplex A4 sheets at 300 dpi at full speed, and the station, driven from outside as a person
# would (folder typed, Auto ticked, closed at the end), scans them all. Checks that every page is
# there once with each back on its front's stamp, and prints the station's resident memory
# (sampled every second) up to page 200 against the whole batch: a page's memory must not stay.
# Usage: long-auto-batch.sh [BUILD_DIR] [PAGES] [rgb|grey]   (default: build, 1000 pages, rgb)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
pages=${2:-1000}
mode=${3:-rgb}

bash "$here/build.sh" "$build"
. "$here/wine-env.sh" "$build"
build=$tovik_build_dir
# The station remembers the batch's folder; the prefix's settings are put back afterwards.
config="$WINEPREFIX/drive_c/ProgramData/Tovik/TovikScan/config.ini"
saved=$(mktemp)
had_config=0
[ -f "$config" ] && cp "$config" "$saved" && had_config=1
restore() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "$had_config" = 1 ]; then cp "$saved" "$config"; else rm -f "$config"; fi
  rm -f "$saved"
}
trap restore EXIT
tovik_start_wineserver

out="$WINEPREFIX/drive_c/tovik-long-batch"
rm -rf "$out"
mkdir -p "$out"
cat >"$WINEPREFIX/drive_c/tovik-long-batch.ini" <<INI
sheets = $((pages / 2))
sides = 2
width = 2480
height = 3508
resolution = 300
pixel_type = $mode
time_per_page_ms = 0
INI
export TOVIK_VSCANNER_SCENARIO='C:\tovik-long-batch.ini'
report="$build/long-auto-batch.txt"
echo "== $pages pages ($mode, A4 300 dpi) on Auto; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
exe=Z:$(echo "$build/app/TovikScan.exe" | tr / '\\')
start=$(date +%s)
wine "$build/tests/fixtures/station-driver/StationDemo.exe" "$exe" 'C:\tovik-long-batch' "$pages" 3600 \
  >"$report" 2>/dev/null </dev/null &
runner=$!

# The station's own process, known by its path (other build trees run stations too).
station_pattern=$(echo "$exe" | sed 's/[\\.]/./g')
peak_early=0 peak=0
while kill -0 "$runner" 2>/dev/null; do
  pid=$(pgrep -f "^$station_pattern" | head -1 || true)
  kb=$( [ -n "$pid" ] && awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  written=$(find "$out" -maxdepth 1 -name 'Scan*.jpg' | wc -l)
  kb=${kb:-0}
  [ "$kb" -gt "$peak" ] && peak=$kb
  [ "$written" -le 200 ] && [ "$kb" -gt "$peak_early" ] && peak_early=$kb
  sleep 1
done
wait "$runner" && rc=0 || rc=$?
seconds=$(($(date +%s) - start))
tail -2 "$report"

files=$(find "$out" -maxdepth 1 -name '*.jpg' -printf '%f\n')
count=$(echo "$files" | grep -c . || true)
named=$(echo "$files" | grep -cE '^Scan[0-9]{17}[FB]\.jpg$' || true)
paired=$(echo "$files" | sed -nE 's/^Scan([0-9]{17})[FB]\.jpg$/\1/p' | sort | uniq -c | awk '$1 == 2' | wc -l)
fronts=$(echo "$files" | grep -c 'F\.jpg$' || true)
echo "$count files in $seconds s ($named named as pages), $paired sheets with front and back on one stamp, $fronts fronts"
echo "station's resident memory: peak $((peak_early / 1024)) MB up to page 200, $((peak / 1024)) MB in the whole batch"
[ "$rc" -eq 0 ] && [ "$count" -eq "$pages" ] && [ "$paired" -eq $((pages / 2)) ]
