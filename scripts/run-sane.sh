#!/usr/bin/env bash
# Runs the station on the machine's SANE scanners through the bridge (sources/sane-source), in the
# build tree's SANE prefix (build/wineprefix-sane). run.sh --sane calls it after the build.
# Usage: run-sane.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/sane-prefix.sh" "$1"

# TOVIK_SANE_FIXTURE=1: no hardware; the project's fixture backend (tests/fixtures/sane-backend) gives a
# KV-S1025C-like device whose feeder holds four duplex sheets.
if [ -n "${TOVIK_SANE_FIXTURE:-}" ]; then
  fixture="$tovik_build_dir/sane-fixture-run.d"
  mkdir -p "$fixture"
  echo tovik >"$fixture/dll.conf"
  printf 'devices kvs1025\nsheets 4\nload %s\n' "$(date +%s%N)" >"$fixture/tovik-fixture.conf"
  cat >"$fixture/sane-source.ini" <<'INI'
# The bridge's configuration for the fixture's KV-S1025C-like device (by vendor and model).
[Fixture KV-S1025C]
name = KV-S1025C via SANE (fixture)
option mode = Color
option resolution = 100
option duplex = yes
INI
  export SANE_CONFIG_DIR="$fixture"
  export TOVIK_SANE_SOURCE_CONFIG="Z:${fixture//\//\\}\\sane-source.ini"
  echo "run: the fixture SANE backend's KV-S1025C-like device (4 duplex sheets), no hardware"
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    # The demonstration on a virtual display: Auto ticked from outside, the sheets scanned.
    echo "run: no display; running the demonstration on a virtual display"
    TOVIK_WINE_GRAPHICS=x11 tovik_sane_prefix >/dev/null
    folder="$WINEPREFIX/drive_c/TovikScans"
    mkdir -p "$folder"
    rm -f "$folder"/Scan*.jpg
    exe=Z:$(echo "$tovik_build_dir/app/TovikScan.exe" | tr / '\\')
    tovik_start_wineserver
    timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" wine explorer /desktop=TovikScan,1024x768 \
      "$tovik_build_dir/tests/fixtures/station-driver/StationDemo.exe" "$exe" 'C:\TovikScans' 8 </dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    echo "run: the scanned pages (JPEG) are in $folder:"
    ls -1 "$folder"/Scan*.jpg 2>/dev/null | sed 's/^/  /' || true
    exit 0
  fi
  devices="device \`tovik:kvs1025' is a Fixture KV-S1025C"
else
  echo "run: SANE devices on this machine (scanimage -L):"
  devices=$(scanimage -L 2>/dev/null | grep '^device' || true)
  if [ -z "$devices" ]; then
    cat <<'TEXT'
run: SANE lists no scanner. Check that it is connected and switched on, that its backend is
     enabled in /etc/sane.d/dll.conf, and that this user may use it (see README: "Scanning from
     real scanners"). `scanimage -L` must list it before the station can.
TEXT
    exit 0
  fi
  echo "$devices" | sed 's/^/  /'
fi

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "run: no display: the station needs one to be used with a real scanner (set DISPLAY)"
  exit 0
fi
TOVIK_WINE_GRAPHICS=x11 tovik_sane_prefix
tovik_install_wine_fonts || true

# The station takes the first source whose name holds "KV-S": unless the bridge's configuration
# already names a device, the first SANE device is listed under such a name.
config="$WINEPREFIX/drive_c/windows/twain_32/sane-source.ini"
if [ ! -f "$config" ]; then
  first=$(echo "$devices" | head -1 | sed -n "s/^device \`\\(.*\\)' is a .*/\\1/p")
  mkdir -p "$(dirname "$config")"
  cat >"$config" <<INI
# The bridge's configuration (written by scripts/run.sh --sane; edit freely): a section per SANE
# device, with the product name to list it under and options set whenever it is opened, e.g.
#   option source = ADF Duplex
[$first]
name = KV-S via SANE ${first:0:18}
INI
  echo "run: $first is listed as a KV-S scanner; its settings are in $config"
fi

echo "run: TovikScan is starting on display $DISPLAY on the machine's SANE scanners"
log="$tovik_build_dir/tovikscan-sane-run.log"
wine "$tovik_build_dir/app/TovikScan.exe" >"$log" 2>&1 </dev/null || true
wineserver -k >/dev/null 2>&1 || true
folder=$(sed -n 's/^eDir=//p' "$WINEPREFIX/drive_c/ProgramData/Tovik/TovikScan/config.ini" 2>/dev/null | tr -d '\r' | head -1)
[ -n "$folder" ] && echo "run: scanned pages are in $folder (C: is $WINEPREFIX/drive_c)"
exit 0
