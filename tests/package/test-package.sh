#!/usr/bin/env bash
# The release as a Windows user gets it: the zip is unpacked into a fresh Wine prefix, the
# virtual scanner goes in with install.cmd (run by Wine's cmd), TovikScan.exe starts from the
# unpacked folder and scans one duplex sheet, whose two JPEG files must be there; uninstall.cmd
# then puts back the sane.ds the prefix had.
# Usage: test-package.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/scripts/wine-env.sh" "$1"
build=$tovik_build_dir
work="$build/package-test"
export WINEPREFIX="$work/wineprefix"
fail() {
  echo "package test: FAILED: $*" >&2
  exit 1
}
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

wineserver -k >/dev/null 2>&1 || true
rm -rf "$work"
mkdir -p "$work"
zip=$(bash "$root/scripts/make-package.sh" "$build" "$work" | tail -1)
name=$(basename "$zip" .zip)
echo "package test: $(basename "$zip")"
python3 -m zipfile -l "$zip"

# A fresh prefix, headless (null graphics driver, read when the server starts).
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
# Without a Debugger value Wine starts winedbg anyway, which holds the run: name one that does not
# exist, so that the start fails and the process ends with the fault.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'tovik-no-debugger.exe %ld %ld' /f >/dev/null 2>&1 </dev/null || true
wineserver -k
wineserver -w
tovik_start_wineserver

drive_c="$WINEPREFIX/drive_c"
python3 -m zipfile -e "$zip" "$drive_c/"
app="C:\\$name"
twain="$drive_c/windows/twain_32"
placeholder="$work/placeholder-sane.ds"
cp "$twain/sane.ds" "$placeholder"

wine cmd /c "$app\\VirtualScanner\\install.cmd" >"$work/install.txt" 2>&1 </dev/null ||
  fail "install.cmd: $(cat "$work/install.txt")"
tr -d '\r' <"$work/install.txt"
cmp -s "$twain/sane.ds" "$drive_c/$name/VirtualScanner/sane.ds" || fail "install.cmd did not install sane.ds"
cmp -s "$twain/sane.ds.before-tovik" "$placeholder" || fail "install.cmd did not keep the sane.ds it found"
[ -f "$twain/virtual-scanner.ini" ] || fail "install.cmd did not install virtual-scanner.ini"

# One duplex A4 sheet in the feeder (the shipped scenario holds more, and refills).
mkdir -p "$drive_c/package-test"
printf 'sheets = 1\nsides = 2\nwidth = 850\nheight = 1100\nresolution = 100\npixel_type = rgb\n' \
  >"$drive_c/package-test/one-sheet.ini"
rc=0
TOVIK_VSCANNER_SCENARIO='C:\package-test\one-sheet.ini' \
  wine "$build/tests/fixtures/station-driver/StationDemo.exe" "$app\\TovikScan.exe" 'C:\package-test\Scans' 2 \
  >"$work/demo.txt" 2>/dev/null </dev/null || rc=$?
tr -d '\r' <"$work/demo.txt"
[ $rc -eq 0 ] || fail "the station did not scan the sheet (exit code $rc)"
scans="$drive_c/package-test/Scans"
fronts=$(find "$scans" -name 'Scan*F.jpg' | wc -l)
backs=$(find "$scans" -name 'Scan*B.jpg' | wc -l)
[ "$fronts" -eq 1 ] && [ "$backs" -eq 1 ] || fail "expected one front and one back, found $(ls "$scans")"
for f in "$scans"/Scan*.jpg; do
  size=$(identify -regard-warnings -format '%w %h' "$f") || fail "$f is not a whole JPEG"
  [ "$size" = "850 1100" ] || fail "$f is $size, not 850 1100"
done

wine cmd /c "$app\\VirtualScanner\\uninstall.cmd" >"$work/uninstall.txt" 2>&1 </dev/null ||
  fail "uninstall.cmd: $(cat "$work/uninstall.txt")"
tr -d '\r' <"$work/uninstall.txt"
cmp -s "$twain/sane.ds" "$placeholder" || fail "uninstall.cmd did not put back the sane.ds it found"
[ ! -e "$twain/virtual-scanner.ini" ] && [ ! -e "$twain/sane.ds.before-tovik" ] || fail "uninstall.cmd left files behind"

wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
echo "package test: passed"
