#include "sources/sane-source/PageRows.h"

#include <algorithm>
#include <cstring>

namespace sanesrc {
namespace {

int ChannelOf(SaneFrame format) {
  switch (format) {
  case SaneFrame::Red:
    return 0;
  case SaneFrame::Green:
    return 1;
  case SaneFrame::Blue:
    return 2;
  default:
    return -1;
  }
}

// Bytes of a line's pixels, or 0 when the shape cannot be laid out. Reckoned in 64 bits: on the
// 32-bit bridge a backend's width times samples times depth would wrap size_t.
size_t PixelBytes(const FrameShape &shape, int samples) {
  if (shape.pixelsPerLine <= 0 || shape.bytesPerLine <= 0)
    return 0;
  if (shape.depth != 1 && shape.depth != 8 && shape.depth != 16)
    return 0;
  if (shape.depth == 1 && samples != 1)
    return 0;
  const uint64_t bits = uint64_t(shape.pixelsPerLine) * uint64_t(samples) * uint64_t(shape.depth);
  const uint64_t bytes = (bits + 7) / 8;
  return bytes <= uint64_t(shape.bytesPerLine) ? static_cast<size_t>(bytes) : 0;
}

// Whether `rows` rows of `rowBytes` stay within the largest page.
bool FitsPage(size_t rowBytes, uint32_t rows) { return uint64_t(rowBytes) * rows <= kMaxPageBytes; }

// Whole lines present: those announced, or those that arrived when fewer did or none were.
uint32_t LinesPresent(const FrameShape &shape, size_t size) {
  const size_t arrived = size / size_t(shape.bytesPerLine);
  const size_t lines = shape.lines >= 0 ? std::min(size_t(shape.lines), arrived) : arrived;
  return static_cast<uint32_t>(std::min<size_t>(lines, UINT32_MAX));
}

bool SinglePass(PageRows &page, const FrameShape &shape, const uint8_t *data, size_t size) {
  const int samples = shape.format == SaneFrame::Rgb ? 3 : 1;
  const size_t rowBytes = PixelBytes(shape, samples);
  if (rowBytes == 0)
    return false;
  const uint32_t rows = LinesPresent(shape, size);
  if (!FitsPage(rowBytes, rows))
    return false;
  PageRows out;
  out.width = static_cast<uint32_t>(shape.pixelsPerLine);
  out.rows = rows;
  out.samplesPerPixel = samples;
  out.bitsPerSample = shape.depth;
  out.bytesPerRow = static_cast<uint32_t>(rowBytes);
  out.lengthKnown = shape.lines >= 0;
  out.bytes.resize(rowBytes * rows);
  for (uint32_t r = 0; r < rows; ++r)
    std::memcpy(out.bytes.data() + r * rowBytes, data + size_t(r) * size_t(shape.bytesPerLine), rowBytes);
  // SANE's lineart has 1 as black; TWAIN's has 0 as black. The bits after a row's last pixel
  // stay clear.
  if (shape.depth == 1) {
    const unsigned used = unsigned(shape.pixelsPerLine % 8);
    const auto last = static_cast<uint8_t>(used ? 0xFF00 >> used : 0xFF);
    for (size_t i = 0; i < out.bytes.size(); ++i)
      out.bytes[i] = static_cast<uint8_t>(~out.bytes[i] & ((i + 1) % rowBytes ? 0xFF : last));
  }
  page = std::move(out);
  return true;
}

bool Channel(PageRows &page, const FrameShape &shape, int channel, const uint8_t *data, size_t size) {
  const size_t lineBytes = PixelBytes(shape, 1);
  // The page's row holds three of these lines: its size must not wrap either.
  if (lineBytes == 0 || shape.depth == 1 || lineBytes > kMaxPageBytes / 3)
    return false;
  const uint32_t lines = LinesPresent(shape, size);
  const size_t sampleBytes = size_t(shape.depth / 8);
  if (page.framesSeen == 0) {
    const size_t rowBytes = lineBytes * 3;
    if (!FitsPage(rowBytes, lines))
      return false;
    page = PageRows{};
    page.width = static_cast<uint32_t>(shape.pixelsPerLine);
    page.rows = lines;
    page.samplesPerPixel = 3;
    page.bitsPerSample = shape.depth;
    page.bytesPerRow = static_cast<uint32_t>(rowBytes);
    page.bytes.assign(rowBytes * lines, 0);
    page.lengthKnown = shape.lines >= 0;
  } else if (page.samplesPerPixel != 3 || page.width != uint32_t(shape.pixelsPerLine) ||
             page.bitsPerSample != shape.depth || page.bytesPerRow != lineBytes * 3 ||
             page.bytes.size() != size_t(page.rows) * page.bytesPerRow) {
    return false; // a later channel must have the first one's shape
  }
  // A channel with fewer lines than the page shortens it: no row keeps a missing channel.
  if (lines < page.rows) {
    page.rows = lines;
    page.bytes.resize(size_t(page.rows) * page.bytesPerRow);
  }
  for (uint32_t r = 0; r < page.rows; ++r) {
    const uint8_t *in = data + size_t(r) * size_t(shape.bytesPerLine);
    uint8_t *out = page.bytes.data() + size_t(r) * page.bytesPerRow + size_t(channel) * sampleBytes;
    for (uint32_t x = 0; x < page.width; ++x)
      std::memcpy(out + size_t(x) * 3 * sampleBytes, in + size_t(x) * sampleBytes, sampleBytes);
  }
  page.lengthKnown = page.lengthKnown && shape.lines >= 0;
  page.framesSeen |= 1 << channel;
  return true;
}

void PutLE(std::vector<uint8_t> &v, size_t at, uint32_t value, size_t n) {
  for (size_t i = 0; i < n; ++i)
    v[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

bool AddFrame(PageRows &page, const FrameShape &shape, const uint8_t *data, size_t size) {
  if (!data && size != 0)
    return false;
  if (shape.format == SaneFrame::Gray || shape.format == SaneFrame::Rgb)
    return SinglePass(page, shape, data, size);
  const int channel = ChannelOf(shape.format);
  return channel >= 0 && Channel(page, shape, channel, data, size);
}

namespace {

// Whether the page's fields agree with each other and with its bytes, as AddFrame makes them.
bool Consistent(const PageRows &page) {
  if (page.width == 0 || page.rows == 0 || (page.samplesPerPixel != 1 && page.samplesPerPixel != 3))
    return false;
  if (page.bitsPerSample != 1 && page.bitsPerSample != 8 && page.bitsPerSample != 16)
    return false;
  if (page.bitsPerSample == 1 && page.samplesPerPixel != 1)
    return false;
  const uint64_t pixelBytes =
      (uint64_t(page.width) * uint64_t(page.samplesPerPixel) * page.bitsPerSample + 7) / 8;
  const uint64_t bytes = uint64_t(page.rows) * page.bytesPerRow;
  return page.bytesPerRow >= pixelBytes && bytes <= kMaxPageBytes && page.bytes.size() >= bytes;
}

// Pixels per metre of a resolution in dots per inch; 0 when unknown or beyond the header's field.
uint32_t PerMetre(int dotsPerInch) {
  if (dotsPerInch <= 0)
    return 0;
  const int64_t perMetre = (int64_t(dotsPerInch) * 10000 + 127) / 254;
  return perMetre <= INT32_MAX ? static_cast<uint32_t>(perMetre) : 0;
}

} // namespace

std::vector<uint8_t> PackedDib(const PageRows &page, int xDotsPerInch, int yDotsPerInch) {
  if (!Consistent(page))
    return {};
  const bool rgb = page.samplesPerPixel == 3;
  const int bitCount = rgb ? 24 : (page.bitsPerSample == 1 ? 1 : 8);
  const uint64_t stride = (uint64_t(page.width) * bitCount + 31) / 32 * 4;
  const size_t colors = rgb ? 0 : (size_t{1} << bitCount);
  const size_t header = 40 + colors * 4;
  if (stride * page.rows > kMaxPageBytes)
    return {};
  std::vector<uint8_t> dib(header + size_t(stride * page.rows), 0);
  PutLE(dib, 0, 40, 4);
  PutLE(dib, 4, page.width, 4);
  PutLE(dib, 8, page.rows, 4);
  PutLE(dib, 12, 1, 2);
  PutLE(dib, 14, static_cast<uint32_t>(bitCount), 2);
  PutLE(dib, 20, static_cast<uint32_t>(stride * page.rows), 4);
  PutLE(dib, 24, PerMetre(xDotsPerInch), 4);
  PutLE(dib, 28, PerMetre(yDotsPerInch), 4);
  PutLE(dib, 32, static_cast<uint32_t>(colors), 4);
  for (size_t i = 0; i < colors; ++i) {
    const uint8_t level = static_cast<uint8_t>(i * 255 / (colors - 1));
    dib[40 + i * 4] = dib[40 + i * 4 + 1] = dib[40 + i * 4 + 2] = level;
  }
  const size_t sampleBytes = page.bitsPerSample == 16 ? 2 : 1;
  const size_t high = sampleBytes - 1; // little-endian: the high byte comes last
  for (uint32_t r = 0; r < page.rows; ++r) {
    const uint8_t *in = page.bytes.data() + size_t(r) * page.bytesPerRow;
    uint8_t *out = dib.data() + header + size_t(page.rows - 1 - r) * size_t(stride);
    if (bitCount == 1) {
      std::memcpy(out, in, (size_t(page.width) + 7) / 8);
    } else if (!rgb) {
      for (uint32_t x = 0; x < page.width; ++x)
        out[x] = in[x * sampleBytes + high];
    } else {
      for (uint32_t x = 0; x < page.width; ++x)
        for (int c = 0; c < 3; ++c)
          out[x * 3 + size_t(2 - c)] = in[(size_t(x) * 3 + size_t(c)) * sampleBytes + high];
    }
  }
  return dib;
}

} // namespace sanesrc
