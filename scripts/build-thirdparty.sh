#!/usr/bin/env bash
# Cross-builds the third-party libraries for 32-bit Windows from Debian source packages:
# libjpeg-turbo (SIMD), FreeImage (Debian's patched source) and the unit-test framework
# (Debian's googletest source). zlib comes from Debian's libz-mingw-w64-dev. The libraries'
# licence files are kept in the prefix (share/doc) for the release. The result is cached in a
# prefix keyed by the package versions and these scripts, so a second run returns at once.
# Prints the prefix on its last line.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
cache_root=${TOVIK_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tovikscan}
jobs=${TOVIK_JOBS:-$(nproc)}

ver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo none; }
src_ver() { apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/{print $2; exit}'; }

fi_ver=$(src_ver freeimage)
jt_ver=$(src_ver libjpeg-turbo)
key_text="freeimage=$fi_ver jpeg=$jt_ver gtest=$(ver googletest) mingw=$(ver g++-mingw-w64-i686-posix) zlib=$(ver libz-mingw-w64-dev)
$(cat "$here/build-thirdparty.sh" "$here"/thirdparty/freeimage/* "$here/../cmake/mingw-i686.cmake")"
key=$(printf '%s' "$key_text" | sha256sum | cut -c1-16)
prefix="$cache_root/thirdparty-$key"

# Build trees of one machine share the cache: one build of a prefix at a time, the others wait
# for it and then use it.
mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"
flock 9

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tovik-thirdparty.XXXXXX")
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix"
toolchain="$here/../cmake/mingw-i686.cmake"

echo "third-party: fetching Debian sources (freeimage $fi_ver, libjpeg-turbo $jt_ver)" >&2
(cd "$work" && apt-get source -q "freeimage=$fi_ver" "libjpeg-turbo=$jt_ver" >"$work/apt.log" 2>&1) || {
  cat "$work/apt.log" >&2
  exit 1
}

echo "third-party: libjpeg-turbo" >&2
cmake -S "$work"/libjpeg-turbo-*/ -B "$work/jpeg-build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_TURBOJPEG=OFF \
  -DCMAKE_ASM_NASM_COMPILER=nasm -DCMAKE_C_FLAGS="-O2 -msse2 -mfpmath=sse" >"$work/jpeg.log" 2>&1 ||
  { tail -30 "$work/jpeg.log" >&2; exit 1; }
cmake --build "$work/jpeg-build" -j"$jobs" >>"$work/jpeg.log" 2>&1 || { tail -30 "$work/jpeg.log" >&2; exit 1; }
cmake --install "$work/jpeg-build" >>"$work/jpeg.log" 2>&1
# libjpeg-turbo installs a 'libjpeg.a'; keep the name FreeImage's users link against.

echo "third-party: FreeImage" >&2
cmake -S "$here/thirdparty/freeimage" -B "$work/fi-build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_PREFIX_PATH="$prefix" -DFREEIMAGE_SOURCE_DIR="$(echo "$work"/freeimage-*/)" >"$work/fi.log" 2>&1 ||
  { tail -30 "$work/fi.log" >&2; exit 1; }
cmake --build "$work/fi-build" -j"$jobs" >>"$work/fi.log" 2>&1 || { grep -m5 -A5 error "$work/fi.log" >&2; exit 1; }
cmake --install "$work/fi-build" >>"$work/fi.log" 2>&1

echo "third-party: googletest" >&2
cmake -S /usr/src/googletest -B "$work/gtest-build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >"$work/gtest.log" 2>&1 || { tail -30 "$work/gtest.log" >&2; exit 1; }
cmake --build "$work/gtest-build" -j"$jobs" >>"$work/gtest.log" 2>&1 || { tail -30 "$work/gtest.log" >&2; exit 1; }
cmake --install "$work/gtest-build" >>"$work/gtest.log" 2>&1

printf '%s\n' "$key_text" | head -1 >"$prefix/.complete"
echo "$prefix"
