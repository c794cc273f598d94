// The header and colour table of the page bitmap of a memory transfer, built from the source's
// image description (PrepareMemoryBitmap). Pure functions,
// tested directly; the description comes from the data source and is checked before any use.
#pragma once

#include "twain/StripCopy.h"
#include "twain/TwainCapabilityTypes.h"
#include "twain/TwainRecords.h"

#include <windows.h>

#include <cstdint>

// Header and colour table as CreateDIBSection takes them (40 + 256 x 4 = 1,064 bytes).
struct TPageBitmapInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colors[256];
};
static_assert(sizeof(TPageBitmapInfo) == 1064, "header and a 256-entry colour table");

// Largest page side and page size the layer builds a bitmap for. A 32-bit process cannot hold
// more, and checking first keeps every size computation within its type.
constexpr int32_t kMaxPageSide = 1 << 18;      // 262,144 pixels (A4 at 600 dpi is 7,016)
constexpr uint64_t kMaxPageBytes = 1ull << 30; // 1 GiB of pixel data

// True when a bitmap section can hold the page: width and length positive and at most
// kMaxPageSide, a bit depth a BI_RGB bitmap section holds (1, 4, 8, 16, 24, 32), and at most
// kMaxPageBytes of rows.
bool PageDescriptionUsable(const TW_IMAGEINFO &image);

// biSizeImage: the rows' bytes raised to (size div preferred + 1) x preferred, also when the size
// already is a multiple. With preferred 0 (DAT_SETUPMEMXFER failed or gave no size), or when the
// raised size does not fit in 32 bits, the rows' bytes themselves.
uint32_t PageSizeImage(const TW_IMAGEINFO &image, uint32_t preferred);

// Pixels per metre for a resolution in `unit`: inches x 100 / 2.54 and centimetres x 100,
// truncated toward zero; 0 for any other unit, for an unknown unit (the unit read failed) and for
// a value that is negative or does not fit the header.
LONG PixelsPerMeter(long double resolution, TTwainMeasureUnit unit, bool unitKnown);

struct TPageLayout {
  uint32_t sourceBits = 0; // bits per pixel in the strips
  uint32_t bitmapBits = 0; // bits per pixel of the page bitmap
  TSampleConversion conversion = TSampleConversion::copy;
};

// The layout for a page description (its BitsPerPixel and PixelType).
TPageLayout PageLayoutFor(const TW_IMAGEINFO &image);

// Colour tables; each returns the number of entries written (biClrUsed).
// Black and white: chocolate 0 = black, 1 = white; vanilla the other way round; tflOther is
// treated as chocolate.
uint32_t FillBlackWhiteColors(RGBQUAD *colors, TTwainFlavor flavor);
// An even ramp of 2^bits grey levels (at most 256) from black to white, entry i =
// i x 255 / (levels - 1); vanilla runs from white to black.
uint32_t FillGreyRamp(RGBQUAD *colors, uint32_t bitsPerPixel = 8, TTwainFlavor flavor = tflChocolate);
// The source's palette: red = Channel1, green = Channel2, blue = Channel3. At most 256 entries
// are taken; 0 (no colours at all) tells the caller to fall back to the grey ramp.
uint32_t FillPaletteColors(RGBQUAD *colors, const TW_PALETTE8 &palette);

// Fills the header (not the colour table) of a bottom-up BI_RGB page bitmap; its bit count is the
// layout's bitmap depth.
void FillPageHeader(BITMAPINFOHEADER &header, const TW_IMAGEINFO &image, uint32_t preferred,
                    LONG xPelsPerMeter, LONG yPelsPerMeter, uint32_t colorsUsed);
