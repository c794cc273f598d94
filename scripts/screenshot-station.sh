#!/usr/bin/env bash
# Takes a PNG screenshot of the station's main window on a virtual X display, so that a person
# can look at it. Uses a prefix of its own with Wine's X11 driver: the build's test prefix runs
# the null driver, which never draws to X.
# Usage: screenshot-station.sh BUILD_DIR [OUT.png]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -ge 1 ] || { echo "usage: screenshot-station.sh BUILD_DIR [OUT.png]" >&2; exit 2; }
. "$here/wine-env.sh" "$1"
build=$tovik_build_dir
out=$(realpath -m "${2:-$build/station.png}")
exe="$build/app/TovikScan.exe"
[ -f "$exe" ] || { echo "screenshot: $exe is not built" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix-x11"

run_on_display() {
  set -euo pipefail
  if [ ! -f "$WINEPREFIX/.tovik-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    touch "$WINEPREFIX/.tovik-ready"
  fi
  tovik_install_wine_fonts
  wine explorer /desktop=TovikScan,640x400 "$exe" >/dev/null 2>&1 </dev/null &
  station=$!
  desktop=""
  for _ in $(seq 1 100); do
    desktop=$(xdotool search --name 'TovikScan' 2>/dev/null | head -1) && [ -n "$desktop" ] && break
    sleep 0.2
  done
  # Without a scanner the station first says so; answer the box like a person would.
  sleep 3
  xdotool mousemove 320 200 sleep 0.3 key Return >/dev/null 2>&1 || true
  sleep 2
  import -window root "$out"
  kill "$station" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
}
if [ -n "${TOVIK_ON_DISPLAY:-}" ]; then
  run_on_display
else
  TOVIK_ON_DISPLAY=1 xvfb-run -a -s "-screen 0 800x600x24" bash "${BASH_SOURCE[0]}" "$@"
  echo "$out"
fi
