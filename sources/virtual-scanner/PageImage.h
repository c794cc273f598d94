// The pixels of one scanned side in the forms the data source hands them over: transfer rows
// (top-down, red first, padded or not), a packed DIB (native transfer) and a BMP file.
// Pure: no Windows calls, so the tests can build the same bytes.
#pragma once

#include "sources/virtual-scanner/Pattern.h"

#include <cstdint>
#include <vector>

namespace vscan {

struct Scenario;

struct PageFormat {
  PixelKind kind = PixelKind::Rgb;
  int bits = 24; // bits per sample: 1, 4, 8, 16; 24 and 32 stand for RGB's 8-bit samples (32: plus alpha)
  bool vanilla = false;
  bool grayPalette = false;
  int width = 1;
  int height = 1;
  bool padded = true;
  int resolution = 100;
  uint16_t unit = 0;  // TWUN_INCHES or TWUN_CENTIMETERS
  bool blank = false; // the side is bare paper
};

PageFormat FormatOf(const Scenario &scenario);

// The TWPT_ number of a pixel kind (BW 0, GRAY 1, RGB 2, PALETTE 3: the enumeration's order).
inline uint16_t TwainPixelType(PixelKind kind) { return static_cast<uint16_t>(kind); }

inline uint32_t BitsPerPixel(const PageFormat &f) {
  return f.kind == PixelKind::Rgb && f.bits != 32 ? 24u : static_cast<uint32_t>(f.bits);
}
inline uint32_t TransferRowBytes(const PageFormat &f) {
  return RowBytes(static_cast<uint32_t>(f.width), BitsPerPixel(f), f.padded);
}

// Row y as FillRow writes it, or bare paper when the side is blank.
void FillPageRow(const PageFormat &f, int page, int side, int y, uint8_t *row, int sheet);

// All rows of the page, top row first, each TransferRowBytes long (padding bytes are zero).
// `sheet` is the number the page's title shows (0: no title).
std::vector<uint8_t> TransferRows(const PageFormat &f, int page, int side, int sheet);
// The same into `rows`, whose storage is reused when it is large enough (pages of a batch).
void TransferRows(const PageFormat &f, int page, int side, int sheet, std::vector<uint8_t> &rows);

// Entries of the palette a reader needs to show the page (0 for RGB and 16-bit grey).
uint32_t ColorCount(const PageFormat &f);
// Colour of entry i, by what the samples mean: BW and grey honour the flavor, palette pages use
// the generated (or grey) palette.
Rgb EntryColor(const PageFormat &f, uint32_t i);

// Pixels per metre of the page's resolution (as a DIB header stores it).
int32_t PixelsPerMeter(const PageFormat &f);

// A packed DIB: BITMAPINFOHEADER, colour table, bottom-up rows padded to 4 bytes, blue first.
std::vector<uint8_t> PackedDib(const PageFormat &f, int page, int side, int sheet);
// A BMP file: BITMAPFILEHEADER followed by the packed DIB.
std::vector<uint8_t> BmpFile(const PageFormat &f, int page, int side, int sheet);

} // namespace vscan
