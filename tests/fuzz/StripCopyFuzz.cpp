// A memory transfer's strips, of any length and row length the source claims, copied into a page
// bitmap of any shape and conversion: every row is its own block, so a write past one is caught.
#include "tests/fuzz/FuzzInput.h"
#include "twain/StripCopy.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  const uint32_t bits = in.Take<uint8_t>() % 40;
  const uint32_t width = in.Take<uint16_t>() % 2048;
  const uint32_t height = in.Take<uint8_t>() % 64;
  const size_t stride = DibRowStride(bits, width);
  std::vector<uint8_t> pixels(stride * height);

  TStripTarget target;
  target.pixels = pixels.data();
  target.stride = stride;
  target.height = stride ? height : 0;
  const uint8_t flags = in.Take<uint8_t>();
  target.topDown = flags & 1;
  target.narrow = static_cast<TSampleConversion>((flags >> 1) % 4);
  target.swapPixels = in.Take<uint32_t>();
  target.narrowPixels = in.Take<uint32_t>();

  TStripState state;
  uint32_t lastRow = 0;
  const int strips = in.Take<uint8_t>() % 8;
  for (int s = 0; s < strips; ++s) {
    const uint32_t bytesPerRow = in.Take<uint32_t>();
    const size_t rowBytes = StripRowBytes(bytesPerRow, stride, in.Take<uint16_t>());
    size_t got = 0;
    const uint8_t *block = in.Block(in.Take<uint16_t>(), got);
    const std::vector<uint8_t> strip(block, block + got);
    RowsAfterStrip(state, strip.size(), rowBytes);
    CopyStrip(strip.data(), strip.size(), rowBytes, target, state, [&](uint32_t rows) { lastRow = rows; });
  }
  BlankRowsNotReceived(target, state);

  std::vector<uint8_t> gathered;
  GrowRows(gathered, in.Take<uint16_t>(), in.Take<uint16_t>(), in.Take<uint16_t>(), 1u << 22);
  TransferBufferSize(in.Take<uint32_t>(), in.Take<uint32_t>(), in.Take<uint32_t>());
  if (lastRow > height)
    __builtin_trap(); // never more rows than the bitmap has
  return 0;
}
