// Frames as a backend might send them, however wrong their shapes: each frame is copied into a
// block of exactly its length, so that a read past it is caught, and laid out in two reads. Then the page as
// a native transfer would hand it over, and a page whose fields were set by hand.
#include "sources/sane-source/PageRows.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstring>
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
    // The frame comes in two reads, split anywhere (within a line too).
    const size_t split = frame.empty() ? 0 : in.Take<uint16_t>() % (frame.size() + 1);
    sanesrc::FrameLayout layout;
    if (layout.Begin(page, shape) && layout.Add(frame.data(), split) &&
        layout.Add(frame.data() + split, frame.size() - split))
      layout.End();
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
  // Rows of a length of their own, as many as the input holds.
  odd.bytes.Reset(in.Take<uint16_t>());
  size_t got = 0;
  const uint8_t *rest = in.Rest(got);
  for (size_t at = 0; odd.bytes.RowBytes() != 0 && got - at >= odd.bytes.RowBytes();
       at += odd.bytes.RowBytes())
    if (uint8_t *row = odd.bytes.Append())
      std::memcpy(row, rest + at, odd.bytes.RowBytes());
  const std::vector<uint8_t> oddDib = sanesrc::PackedDib(odd, oddDotsPerInch, oddDotsPerInch);
  (void)oddDib;
  return 0;
}
