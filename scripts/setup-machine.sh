#!/usr/bin/env bash
# Installs every Debian package TovikScan needs to build, test and run on Linux.
# Idempotent: a second run only checks and returns.
set -euo pipefail

PACKAGES=(
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix nasm libz-mingw-w64-dev
  cmake make dpkg-dev
  wine wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick xdotool
  googletest clang-format python3
)
# The Windows Installer package (scripts/make-package.sh): wixl, from Debian's msitools sources.
PACKAGES+=(wixl)
# The data source over SANE (sources/sane-source): Wine's i386 library tools, 32-bit SANE, scanimage.
PACKAGES+=(wine32-tools:i386 gcc-multilib g++-multilib libwine-dev:i386 libsane-dev libsane1:i386 sane-utils)
# The network tests: saned (sane-utils) in a network namespace of their own (util-linux, iproute2).
PACKAGES+=(util-linux iproute2)
# Fuzz targets (tests/fuzz): clang with its fuzzer and sanitizer runtimes, the i386 libjpeg.
PACKAGES+=(clang libclang-rt-14-dev libjpeg62-turbo-dev:i386)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

# apt-get source needs deb-src entries next to the binary ones.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  if grep -q '^Types: deb$' "$f"; then
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    need_update=1
  fi
done
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list && ! grep -q '^deb-src ' /etc/apt/sources.list; then
  grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee -a /etc/apt/sources.list >/dev/null
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ] || ! ls /var/lib/apt/lists/*Sources* >/dev/null 2>&1; then
  as_root apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
echo "setup: machine ready"
