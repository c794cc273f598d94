#!/usr/bin/env bash
# Creates (once) the build tree's 32-bit Wine prefix with the null graphics driver, so that
# windows, controls and GDI work without any display.
# Usage: prepare-wineprefix.sh BUILD_DIR [PREFIX_FOLDER]   (default: wineprefix in BUILD_DIR)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$1"
[ -n "${2:-}" ] && export WINEPREFIX="$tovik_build_dir/$2"

if [ ! -f "$WINEPREFIX/.tovik-ready" ]; then
  echo "wine: creating prefix $WINEPREFIX" >&2
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  touch "$WINEPREFIX/.tovik-ready"
fi
tovik_start_wineserver
# Headless unless a run asks for X (screenshots, a person at the screen).
if [ "${TOVIK_WINE_GRAPHICS:-null}" = "null" ]; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
else
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 </dev/null || true
fi
# A crashing program ends at once instead of waiting in Wine's debugger until a time-out.
# Without a Debugger value Wine starts winedbg anyway, which holds the run: name one that does not
# exist, so that the start fails and the process ends with the fault.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'tovik-no-debugger.exe %ld %ld' /f >/dev/null 2>&1 </dev/null || true
# The driver setting is read once per server: restart it.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
tovik_start_wineserver
