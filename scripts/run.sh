#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds TovikScan and runs it under Wine on the virtual
# KV-S scanner. With a display, the station's window opens for a person to use; without one, a
# short demonstration runs on a virtual display and ends by itself. With --sane, the station runs
# on the machine's SANE scanners instead (scripts/run-sane.sh).
# Usage: run.sh [--sane] [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
sane=0
if [ "${1:-}" = "--sane" ]; then
  sane=1
  shift
fi
build=${1:-$root/build}

bash "$here/build.sh" "$build"
[ $sane -eq 1 ] && exec bash "$here/run-sane.sh" "$build"
. "$here/wine-env.sh" "$build"
build=$tovik_build_dir
unset TOVIK_VSCANNER_SCENARIO # the scanner reads the scenario installed beside it

# A Windows path of the station as a Linux path: C: is the prefix's drive_c, Z: the root.
linux_path() {
  local path=${1//\\//}
  case "$path" in
  [Cc]:/*) echo "$WINEPREFIX/drive_c/${path:3}" ;;
  [Zz]:/*) echo "${path:2}" ;;
  *) echo "$path" ;;
  esac
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  # The feeder is loaded again when it runs empty, so "Go.." works more than once.
  WINEPREFIX=$(bash "$here/x11-prefix.sh" "$build" 9)
  export WINEPREFIX
  echo "run: TovikScan is starting on display $DISPLAY; the virtual scanner holds 4 duplex sheets"
  tovik_start_wineserver
  log="$build/tovikscan-run.log"
  wine "$build/app/TovikScan.exe" >"$log" 2>&1 </dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  config="$WINEPREFIX/drive_c/ProgramData/Tovik/TovikScan/config.ini"
  folder=$(sed -n 's/^eDir=//p' "$config" 2>/dev/null | tr -d '\r' | head -1)
  [ -n "$folder" ] && echo "run: scanned pages are in $(linux_path "$folder") ($folder)"
  exit 0
fi

echo "run: no display; running a short demonstration on a virtual display"
shot="$build/station-during-scan.png"
rm -f "$shot"
rc=0
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/station-demo.sh" "$build" "$shot" || rc=$?
export WINEPREFIX="$build/wineprefix-x11"
folder=$(linux_path 'C:\TovikScans')
echo "run: the scanned pages (JPEG) are in $folder:"
ls -1 "$folder"/Scan*.jpg 2>/dev/null | sed 's/^/  /' || true
if ls "$folder"/Blank/Scan*.jpg >/dev/null 2>&1; then
  echo "run: blank sides set aside, in $folder/Blank:"
  ls -1 "$folder"/Blank/Scan*.jpg | sed 's/^/  /'
fi
if [ -f "$shot" ]; then
  echo "run: screenshot taken during the scan: $shot"
else
  echo "run: no screenshot was taken"
fi
[ $rc -eq 0 ] || echo "run: the demonstration did not complete (exit code $rc)"
exit 0
