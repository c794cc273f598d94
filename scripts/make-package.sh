#!/usr/bin/env bash
# Assembles the Windows release from a finished build tree: OUT_DIR/TovikScan-<version>-win32.zip
# holding TovikScan.exe, README-Windows.txt, the licences of the libraries built in, and the
# virtual scanner with its install/uninstall scripts; and beside it the Windows Installer package
# OUT_DIR/TovikScan-<version>.msi (app/TovikScan.wxs, built by wixl) for IT to deploy.
# Prints the zip's path and then the package's, on the last two lines.
# Usage: make-package.sh BUILD_DIR OUT_DIR [VERSION]
#   VERSION (x.y.z) replaces the file VERSION's for both (the package test makes an older release
#   from the same build to upgrade from).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
[ $# -eq 2 ] || [ $# -eq 3 ] || { echo "usage: make-package.sh BUILD_DIR OUT_DIR [VERSION]" >&2; exit 2; }
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

version=${3:-$(head -1 "$root/VERSION")}
# Windows Installer compares versions of three numbers (major < 256, minor < 256, build < 65536).
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package: version $version is not x.y.z" >&2; exit 1; }
command -v wixl >/dev/null || { echo "package: wixl is missing (scripts/setup-machine.sh installs it)" >&2; exit 1; }
name="TovikScan-$version-win32"
thirdparty=$(sed -n 's/^TOVIK_THIRDPARTY_PREFIX:PATH=//p' "$build/CMakeCache.txt")
zlib_header=/usr/i686-w64-mingw32/include/zlib.h
for f in "$build/app/TovikScan.exe" "$build/app/TovikScan.ico" "$build/sources/virtual-scanner/sane.ds" \
  "$thirdparty/share/doc/FreeImage/license-fi.txt" "$thirdparty/share/doc/libjpeg-turbo/LICENSE.md" \
  "$thirdparty/share/doc/libjpeg-turbo/README.ijg" "$zlib_header"; do
  [ -f "$f" ] || { echo "package: $f is missing (build first: scripts/build.sh)" >&2; exit 1; }
done

stage=$(mktemp -d "${TMPDIR:-/tmp}/tovik-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
dir="$stage/$name"
mkdir -p "$dir/licences" "$dir/VirtualScanner"

# Windows programs (Notepad, cmd) want CR LF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$@"; }

i686-w64-mingw32-strip -o "$dir/TovikScan.exe" "$build/app/TovikScan.exe"
sed "s/@VERSION@/$version/g" "$root/app/README-Windows.txt" | crlf >"$dir/README-Windows.txt"
crlf "$thirdparty/share/doc/FreeImage/license-fi.txt" >"$dir/licences/FreeImage.txt"
{ crlf "$thirdparty/share/doc/libjpeg-turbo/LICENSE.md"; printf '\r\n'; crlf "$thirdparty/share/doc/libjpeg-turbo/README.ijg"; } \
  >"$dir/licences/libjpeg-turbo.txt"
# zlib's licence is the notice at the top of its header (the library is Debian's static mingw build).
sed -n '1,/\*\//p' "$zlib_header" | crlf >"$dir/licences/zlib.txt"
i686-w64-mingw32-strip -o "$dir/VirtualScanner/sane.ds" "$build/sources/virtual-scanner/sane.ds"
for f in install.cmd uninstall.cmd virtual-scanner.ini; do
  crlf "$root/sources/virtual-scanner/windows/$f" >"$dir/VirtualScanner/$f"
done

zip="$out/$name.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")

# The installer takes the zip's files from its folder (the .wxs names them relative to it).
msi="$out/TovikScan-$version.msi"
rm -f "$msi"
cp "$build/app/TovikScan.ico" "$stage/TovikScan.ico"
(cd "$dir" && wixl --arch x86 --define "Version=$version" --output "$msi" "$root/app/TovikScan.wxs")
echo "$zip"
echo "$msi"
