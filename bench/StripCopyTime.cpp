#include "bench/StripCopyTime.h"

#include "bench/BenchClock.h"
#include "bench/Floor.h"
#include "twain/StripCopy.h"

#include <algorithm>
#include <cstring>
#include <vector>

double TimeStripCopyMs(int width, int height, int bpp, size_t stripBytes) {
  const size_t stride = DibRowStride(static_cast<uint32_t>(bpp), static_cast<uint32_t>(width));
  const size_t rowsPerStrip = std::max<size_t>(1, stripBytes / stride);
  std::vector<uint8_t> strip(rowsPerStrip * stride, 0x5A);
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(height), 0); // touched: no page faults timed
  TStripTarget target;
  target.pixels = pixels.data();
  target.stride = stride;
  target.height = static_cast<uint32_t>(height);
  target.swapPixels = bpp == 24 ? static_cast<uint32_t>(width) : 0;
  TStripState state;
  volatile uint32_t lastRow = 0;
  EvictCaches();
  TStopwatch watch;
  for (int row = 0; row < height; row += static_cast<int>(rowsPerStrip)) {
    const size_t rows = std::min<size_t>(rowsPerStrip, static_cast<size_t>(height - row));
    CopyStrip(strip.data(), rows * stride, stride, target, state, [&](uint32_t done) { lastRow = done; });
  }
  return watch.ElapsedMs();
}
