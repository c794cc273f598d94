#!/usr/bin/env bash
# The release as a Windows user gets it: the zip is unpacked into a fresh Wine prefix, the
# virtual scanner goes in with install.cmd (run by Wine's cmd), TovikScan.exe starts from the
# unpacked folder and scans one duplex sheet, whose two JPEG files must be there; uninstall.cmd
# then puts back the sane.ds the prefix had.
# Then the installer as IT deploys it (msiexec /qn), in the same prefix, with the first station's
# config.ini and pages in place: an older package of the same build (a lower version), the
# upgrade to this one, the virtual scanner added, a scan from the Start menu's shortcut, and the
# uninstall; config.ini and every page stay throughout.
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
made=$(bash "$root/scripts/make-package.sh" "$build" "$work" | tail -2)
zip=$(head -1 <<<"$made")
msi=$(tail -1 <<<"$made")
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

# --- The installer ---
version=$(head -1 "$root/VERSION")
old_msi=$(bash "$root/scripts/make-package.sh" "$build" "$work/previous" 0.0.1 | tail -1)
echo "package test: $(basename "$old_msi") upgraded to $(basename "$msi")"
win() { winepath -w "$1" 2>/dev/null </dev/null; }
msiexec() { wine msiexec "$@" >"$work/msiexec.txt" 2>&1 </dev/null; }
installed() { msiexec "$@" || fail "msiexec $*: $(tr -d '\r' <"$work/msiexec.txt")"; }
# Programs and Features: "count version publisher icon" of the products named Tovik Scan (the icon
# is the product's, kept with its Windows Installer registration).
entry() {
  for key in 'Microsoft\Windows\CurrentVersion\Uninstall' 'Classes\Installer\Products'; do
    wine reg query 'HKLM\Software\'"$key" /s 2>/dev/null </dev/null || true
  done | tr -d '\r' >"$work/arp.txt"
  python3 - "$work/arp.txt" <<'PY'
import re, sys
blocks = [dict(re.findall(r"^[ \t]+(\w+)[ \t]+REG_\w+[ \t]*(.*)$", b, re.M)) for b in open(sys.argv[1]).read().split("\n\n")]
entries = [b for b in blocks if b.get("DisplayName") == "Tovik Scan"] + [{}]
icons = [b.get("ProductIcon", "-") for b in blocks if b.get("ProductName") == "Tovik Scan"] + ["-"]
print(len(entries) - 1, entries[0].get("DisplayVersion"), entries[0].get("Publisher"), icons[0].replace(" ", "?"))
PY
}
expect_entry() {
  read -r count shown publisher icon <<<"$(entry)"
  [ "$count $shown $publisher" = "1 $1 Tovik" ] && [ -f "$(winepath -u "${icon//\?/ }" 2>/dev/null)" ] ||
    fail "$2: Programs and Features shows $count entries: $shown $publisher $icon"
}
program="$drive_c/Program Files/Tovik Scan"
installed_files=("TovikScan.exe" "README-Windows.txt" "licences/FreeImage.txt" "licences/libjpeg-turbo.txt" "licences/zlib.txt")
# What the people's stations left, never to change: the first station's config.ini, and a page in
# the data folder (the first output folder).
data="$drive_c/ProgramData/Tovik/TovikScan"
cp "$(find "$scans" -name 'Scan*F.jpg' | head -1)" "$data/"
kept() { (cd "$data" && md5sum config.ini Scan*.jpg); }
kept >"$work/kept.txt" || fail "the first station left no config.ini"

installed /i "$(win "$old_msi")" /qn
expect_entry 0.0.1 "the older package"
cmp -s "$twain/sane.ds" "$placeholder" || fail "the virtual scanner was installed without being asked for"
installed /i "$(win "$msi")" /qn
expect_entry "$version" "the upgrade"
for f in "${installed_files[@]}"; do
  cmp -s "$program/$f" "$drive_c/$name/$f" || fail "the upgrade did not leave $f as packaged"
done
kept | cmp -s - "$work/kept.txt" || fail "the upgrade changed config.ini or a page"
msiexec /i "$(win "$old_msi")" /qn && fail "the older package went over the newer one"
expect_entry "$version" "the refused older package"

# The same version rebuilt (a product code of its own) replaces it: still one entry.
msi=$(bash "$root/scripts/make-package.sh" "$build" "$work/rebuilt" | tail -1)
installed /i "$(win "$msi")" /qn
expect_entry "$version" "the same version rebuilt"

installed /i "$(win "$msi")" ADDLOCAL=VirtualScanner /qn
# (Each packaging strips anew, with a new time stamp in the file: the rebuilt sane.ds differs by it.)
[ "$(stat -c %s "$twain/sane.ds")" = "$(stat -c %s "$drive_c/$name/VirtualScanner/sane.ds")" ] &&
  cmp -s "$twain/virtual-scanner.ini" "$drive_c/$name/VirtualScanner/virtual-scanner.ini" ||
  fail "ADDLOCAL=VirtualScanner did not install the virtual scanner"
# Windows puts it into the machine's Start menu; Wine 8 into the installing user's.
start_menus=("$drive_c/ProgramData/Microsoft/Windows/Start Menu" "$drive_c/users")
shortcut=$(find "${start_menus[@]}" -path '*Start Menu/Programs/Tovik Scan.lnk')
[ -n "$shortcut" ] || fail "no Start-menu shortcut"
rc=0
TOVIK_VSCANNER_SCENARIO='C:\package-test\one-sheet.ini' wine "$build/tests/fixtures/station-driver/StationDemo.exe" \
  "$(win "$shortcut")" 'C:\package-test\Installed' 2 >"$work/demo-installed.txt" 2>/dev/null </dev/null || rc=$?
tr -d '\r' <"$work/demo-installed.txt"
[ $rc -eq 0 ] || fail "the shortcut's station did not scan the sheet (exit code $rc)"
kept >"$work/kept.txt" # the station keeps its new folder and counts in config.ini

# A person who chose the program's folder as the output folder keeps those pages too.
cp "$(find "$scans" -name 'Scan*B.jpg' | head -1)" "$program/"
installed /x "$(win "$msi")" /qn
[ "$(entry | cut -d' ' -f1)" = 0 ] || fail "the uninstall left the Programs and Features entry"
for f in "${installed_files[@]}" "../../windows/twain_32/sane.ds" "../../windows/twain_32/virtual-scanner.ini"; do
  [ ! -e "$program/$f" ] || fail "the uninstall left $f"
done
[ -z "$(find "${start_menus[@]}" -name 'Tovik Scan.lnk')" ] || fail "the uninstall left the shortcut"
kept | cmp -s - "$work/kept.txt" && [ -f "$program/$(ls "$scans" | grep B.jpg)" ] &&
  [ "$(ls "$drive_c/package-test/Installed" | wc -l)" = 2 ] || fail "the uninstall removed or changed config.ini or a page"

wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
echo "package test: passed"
