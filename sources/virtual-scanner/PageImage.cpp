#include "sources/virtual-scanner/PageImage.h"

#include "sources/virtual-scanner/Scenario.h"

#include <algorithm>
#include <new>

namespace vscan {
namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;

// Pages beyond this would not fit a 32-bit process anyway; refusing them keeps the size
// arithmetic from wrapping around.
constexpr uint64_t kMaxPageBytes = 512u << 20;

size_t PageBytes(uint32_t rowBytes, int height) {
  const uint64_t bytes = static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height);
  if (bytes > kMaxPageBytes)
    throw std::bad_alloc();
  return static_cast<size_t>(bytes);
}

void Put16(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

} // namespace

PageFormat FormatOf(const Scenario &s) {
  PageFormat f;
  f.kind = s.pixelKind;
  f.bits = BitDepthValid(s.pixelKind, s.bitDepth) ? s.bitDepth : (s.pixelKind == PixelKind::Bw ? 1 : 8);
  if (f.kind == PixelKind::Rgb && f.bits != 32)
    f.bits = 24;
  f.vanilla = s.vanilla;
  f.grayPalette = s.grayPalette;
  f.width = std::max(1, s.width);
  f.height = std::max(1, s.height);
  f.padded = s.padRows;
  f.resolution = s.resolution;
  f.unit = s.unit;
  return f;
}

void FillPageRow(const PageFormat &f, int page, int side, int y, uint8_t *row, int sheet) {
  if (!f.blank) {
    FillRow(f.kind, f.bits, f.vanilla, page, side, f.width, y, row, sheet);
    return;
  }
  if (f.kind == PixelKind::Rgb) {
    const int pixelBytes = f.bits == 32 ? 4 : 3;
    for (int x = 0; x < f.width; ++x)
      PutRgb(row + pixelBytes * x, kToneRgb[static_cast<int>(Tone::Paper)], pixelBytes);
    return;
  }
  const int bits = f.bits == 16 ? 8 : f.bits;
  const unsigned v =
      f.kind == PixelKind::Palette ? 0u : SampleOf(Tone::Paper, f.kind, bits, f.vanilla, page, side, 0, y);
  if (f.bits >= 8) {
    for (int x = 0; x < f.width; ++x)
      for (int b = 0; b < f.bits / 8; ++b)
        row[f.bits / 8 * x + b] = static_cast<uint8_t>(v);
    return;
  }
  const int perByte = 8 / bits;
  for (int i = 0; i < (f.width * bits + 7) / 8; ++i)
    row[i] = 0;
  for (int x = 0; x < f.width; ++x)
    row[x / perByte] = static_cast<uint8_t>(row[x / perByte] | (v << (8 - bits * (x % perByte + 1))));
}

std::vector<uint8_t> TransferRows(const PageFormat &f, int page, int side, int sheet) {
  std::vector<uint8_t> rows;
  TransferRows(f, page, side, sheet, rows);
  return rows;
}

void TransferRows(const PageFormat &f, int page, int side, int sheet, std::vector<uint8_t> &rows) {
  const uint32_t rowBytes = TransferRowBytes(f);
  rows.assign(PageBytes(rowBytes, f.height), 0);
  for (int y = 0; y < f.height; ++y)
    FillPageRow(f, page, side, y, rows.data() + static_cast<size_t>(rowBytes) * y, sheet);
}

uint32_t ColorCount(const PageFormat &f) {
  switch (f.kind) {
  case PixelKind::Bw:
    return 2;
  case PixelKind::Gray:
  case PixelKind::Palette:
    return f.bits <= 8 ? 1u << f.bits : 0u;
  case PixelKind::Rgb:
    break;
  }
  return 0;
}

Rgb EntryColor(const PageFormat &f, uint32_t i) {
  const uint32_t entries = ColorCount(f);
  switch (f.kind) {
  case PixelKind::Bw:
  case PixelKind::Gray: {
    const uint32_t level = f.vanilla ? entries - 1 - i : i;
    const uint8_t v = static_cast<uint8_t>(level * (255u / (entries - 1)));
    return Rgb{v, v, v};
  }
  case PixelKind::Palette:
    return f.grayPalette ? GrayPaletteColor(i, entries) : GeneratedPaletteColor(i, entries);
  case PixelKind::Rgb:
    break;
  }
  return Rgb{0, 0, 0};
}

int32_t PixelsPerMeter(const PageFormat &f) {
  if (f.unit == 1) // centimeters
    return f.resolution * 100;
  return static_cast<int32_t>(static_cast<int64_t>(f.resolution) * 10000 / 254);
}

std::vector<uint8_t> PackedDib(const PageFormat &f, int page, int side, int sheet) {
  const uint32_t colors = ColorCount(f);
  const uint32_t stride = RowBytes(static_cast<uint32_t>(f.width), BitsPerPixel(f), true);
  const size_t pixelBytes = PageBytes(stride, f.height);
  const size_t offset = kInfoHeaderSize + 4u * colors;
  std::vector<uint8_t> dib(offset + pixelBytes, 0);
  Put32(dib, 0, kInfoHeaderSize);
  Put32(dib, 4, static_cast<uint32_t>(f.width));
  Put32(dib, 8, static_cast<uint32_t>(f.height)); // positive: bottom-up
  Put16(dib, 12, 1);
  Put16(dib, 14, BitsPerPixel(f));
  Put32(dib, 16, 0); // BI_RGB
  Put32(dib, 20, static_cast<uint32_t>(pixelBytes));
  Put32(dib, 24, static_cast<uint32_t>(PixelsPerMeter(f)));
  Put32(dib, 28, static_cast<uint32_t>(PixelsPerMeter(f)));
  Put32(dib, 32, colors);
  Put32(dib, 36, 0);
  for (uint32_t i = 0; i < colors; ++i) {
    const Rgb c = EntryColor(f, i);
    dib[kInfoHeaderSize + 4 * i] = c.b;
    dib[kInfoHeaderSize + 4 * i + 1] = c.g;
    dib[kInfoHeaderSize + 4 * i + 2] = c.r;
  }
  for (int y = 0; y < f.height; ++y) {
    uint8_t *row = dib.data() + offset + static_cast<size_t>(stride) * (f.height - 1 - y);
    FillPageRow(f, page, side, y, row, sheet);
    const int pixelBytes = f.bits == 32 ? 4 : 3;
    if (f.kind == PixelKind::Rgb)
      for (int x = 0; x < f.width; ++x)
        std::swap(row[pixelBytes * x], row[pixelBytes * x + 2]);
  }
  return dib;
}

std::vector<uint8_t> BmpFile(const PageFormat &f, int page, int side, int sheet) {
  const std::vector<uint8_t> dib = PackedDib(f, page, side, sheet);
  std::vector<uint8_t> file(kFileHeaderSize + dib.size(), 0);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<uint32_t>(kFileHeaderSize + dib.size()));
  Put32(file, 10, kFileHeaderSize + kInfoHeaderSize + 4u * ColorCount(f));
  std::copy(dib.begin(), dib.end(), file.begin() + kFileHeaderSize);
  return file;
}

} // namespace vscan
