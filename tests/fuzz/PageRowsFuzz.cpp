// Frames as a backend might send them, however wrong their shapes: each frame is copied into a
// block of exactly its length, so that a read past it is caught. Then the page as a native
// transfer would hand it over, and a page whose fields were set by hand.
#include "tests/fuzz/FuzzInput.h"
#include "sources/sane-source/PageRows.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  sanesrc::PageRows page;
  const int frames = in.Take<uint8_t>() % 5;
  for (int f = 0; f < frames; ++f) {
    sanesrc::FrameShape shape;
    shape.format = static_cast<sanesrc::SaneFrame>(in.Take<uint8_t>() % 6);
    shape.lastFrame = in.Take<uint8_t>() & 1;
    shape.bytesPerLine = in.Take<int32_t>();
    shape.pixelsPerLine = in.Take<int32_t>();
    shape.lines = in.Take<int32_t>();
    shape.depth = in.Take<int32_t>();
    size_t got = 0;
    const uint8_t *block = in.Block(in.Take<uint16_t>(), got);
    const std::vector<uint8_t> frame(block, block + got);
    sanesrc::AddFrame(page, shape, frame.data(), frame.size());
  }
  const int32_t across = in.Take<int32_t>();
  const std::vector<uint8_t> dib = sanesrc::PackedDib(page, across, in.Take<int32_t>());
  (void)dib;

  // PackedDib takes any page: fields that disagree with each other or with the bytes.
  sanesrc::PageRows odd;
  odd.width = in.Take<uint32_t>();
  odd.rows = in.Take<uint32_t>();
  odd.samplesPerPixel = in.Take<int8_t>();
  odd.bitsPerSample = in.Take<int8_t>();
  odd.bytesPerRow = in.Take<uint32_t>();
  const int32_t oddDotsPerInch = in.Take<int32_t>();
  size_t got = 0;
  const uint8_t *rest = in.Rest(got);
  odd.bytes.assign(rest, rest + got);
  const std::vector<uint8_t> oddDib = sanesrc::PackedDib(odd, oddDotsPerInch, oddDotsPerInch);
  (void)oddDib;
  return 0;
}
