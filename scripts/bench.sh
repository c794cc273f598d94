#!/usr/bin/env bash
# Builds TovikScan and runs its benchmarks under the build's Wine prefix; they print figures.
# Usage: bench.sh [BUILD_DIR] [PAGES] [LONG_PAGES]
#   (default: build, 200 pages a pipeline run, 1000 pages in the long batch; 0 skips it)
#   e.g. bench.sh build 20 0   for a quick run
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
pages=${2:-200}
long_pages=${3:-1000}

bash "$here/build.sh" "$build"
build=$(cd "$build" && pwd)
. "$here/wine-env.sh" "$build"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
tovik_start_wineserver
run() { bash "$here/wine-run.sh" --build "$build" "$@"; }

echo "== Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== libjpeg-turbo SIMD in the shipped program"
exe="$build/app/TovikScan.exe"
simd=$(i686-w64-mingw32-nm "$exe" | grep -E ' T _jsimd_.*_(sse2|avx2)$' | sed 's/.* T _//' | sort)
echo "TovikScan.exe holds $(echo "$simd" | grep -c sse2) SSE2 and $(echo "$simd" | grep -c avx2) AVX2 jsimd routines, among them:"
echo "$simd" | grep -E 'rgb_ycc_convert|fdct_islow|quantize|huff_encode' | sed 's/^/  /'
echo "Encode of the same page with SIMD as built, then with JSIMD_FORCENONE=1 (libjpeg-turbo then uses none):"
run "$build/bench/page_write_bench.exe" 5 --encode-only
JSIMD_FORCENONE=1 run "$build/bench/page_write_bench.exe" 5 --encode-only

echo "== Page write"
run "$build/bench/page_write_bench.exe" 5

echo "== Blank sides: the detector over the labelled set"
run "$build/bench/blank_side_bench.exe" 3

echo "== Page pipeline"
run "$build/bench/pipeline_bench.exe" "$pages" --rgb --jpeg
run "$build/bench/pipeline_bench.exe" "$pages" --grey --jpeg

if [ "$long_pages" -gt 0 ]; then
  echo "== One long batch: memory at its end against page 200"
  run "$build/bench/pipeline_bench.exe" "$long_pages" --rgb --long
  run "$build/bench/pipeline_bench.exe" "$long_pages" --grey --long
fi

echo "== SANE source: one 1200 dpi colour page (268 MB), memory and native transfer"
if [ -f "$build/bench/sane_page_bench.exe" ]; then
  TOVIK_SANE_FIXTURE=1 bash "$here/sane-test.sh" "$build" "$build/bench/sane_page_bench.exe" || true
else
  echo "(the SANE source is not built on this machine)"
fi
