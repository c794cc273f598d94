#include "twain/PageHeader.h"

#include "twain/StripCopy.h"

#include <cmath>
#include <cstring>
#include <limits>

bool PageDescriptionUsable(const TW_IMAGEINFO &image) {
  if (image.ImageWidth <= 0 || image.ImageLength <= 0)
    return false;
  if (image.ImageWidth > kMaxPageSide || image.ImageLength > kMaxPageSide)
    return false;
  switch (image.BitsPerPixel) {
  case 1:
  case 4:
  case 8:
  case 16:
  case 24:
  case 32:
    break;
  default:
    return false;
  }
  uint64_t bytes = static_cast<uint64_t>(DibRowStride(static_cast<uint32_t>(image.BitsPerPixel),
                                                      static_cast<uint32_t>(image.ImageWidth))) *
                   static_cast<uint64_t>(image.ImageLength);
  return bytes <= kMaxPageBytes;
}

uint32_t PageSizeImage(const TW_IMAGEINFO &image, uint32_t preferred) {
  uint64_t size = static_cast<uint64_t>(DibRowStride(static_cast<uint32_t>(image.BitsPerPixel),
                                                     static_cast<uint32_t>(image.ImageWidth))) *
                  static_cast<uint64_t>(image.ImageLength);
  if (preferred != 0) {
    uint64_t raised = (size / preferred + 1) * preferred;
    if (raised <= std::numeric_limits<uint32_t>::max())
      return static_cast<uint32_t>(raised);
  }
  return static_cast<uint32_t>(size);
}

LONG PixelsPerMeter(long double resolution, TTwainMeasureUnit unit, bool unitKnown) {
  if (!unitKnown)
    return 0;
  long double perMeter;
  switch (unit) {
  case tmuInches:
    perMeter = resolution * 100.0L / 2.54L;
    break;
  case tmuCentimeters:
    perMeter = resolution * 100.0L;
    break;
  default:
    return 0;
  }
  if (!(perMeter >= 0.0L) || perMeter >= static_cast<long double>(std::numeric_limits<LONG>::max()))
    return 0;
  return static_cast<LONG>(std::trunc(perMeter));
}

uint32_t FillBlackWhiteColors(RGBQUAD *colors, TTwainFlavor flavor) {
  static const BYTE levels[4] = {0x00, 0xFF, 0xFF, 0x00};
  unsigned row = flavor == tflVanilla ? 1 : 0; // tflOther: chocolate
  for (unsigned entry = 0; entry < 2; ++entry) {
    BYTE level = levels[row * 2 + entry];
    colors[entry] = RGBQUAD{level, level, level, 0};
  }
  return 2;
}

uint32_t FillGreyRamp(RGBQUAD *colors, uint32_t bitsPerPixel, TTwainFlavor flavor) {
  const uint32_t levels = bitsPerPixel >= 8 ? 256u : 1u << (bitsPerPixel == 0 ? 1 : bitsPerPixel);
  for (uint32_t i = 0; i < levels; ++i) {
    const uint32_t step = flavor == tflVanilla ? levels - 1 - i : i;
    const BYTE level = static_cast<BYTE>(step * 255u / (levels - 1));
    colors[i] = RGBQUAD{level, level, level, 0};
  }
  return levels;
}

TPageLayout PageLayoutFor(const TW_IMAGEINFO &image) {
  TPageLayout layout;
  layout.sourceBits = static_cast<uint32_t>(image.BitsPerPixel);
  layout.bitmapBits = layout.sourceBits;
  if (image.PixelType == TWPT_RGB && image.BitsPerPixel == 24) {
    layout.conversion = TSampleConversion::swapRedBlue;
  } else if (image.PixelType == TWPT_RGB && image.BitsPerPixel == 32) {
    layout.conversion = TSampleConversion::rgbx32ToBgr;
    layout.bitmapBits = 24;
  } else if (image.PixelType == TWPT_GRAY && image.BitsPerPixel == 16) {
    layout.conversion = TSampleConversion::grey16To8;
    layout.bitmapBits = 8;
  }
  return layout;
}

uint32_t FillPaletteColors(RGBQUAD *colors, const TW_PALETTE8 &palette) {
  uint32_t count = palette.NumColors < 256 ? palette.NumColors : 256;
  for (uint32_t i = 0; i < count; ++i) {
    const TW_ELEMENT8 &element = palette.Colors[i];
    colors[i] = RGBQUAD{element.Channel3, element.Channel2, element.Channel1, 0};
  }
  return count;
}

void FillPageHeader(BITMAPINFOHEADER &header, const TW_IMAGEINFO &image, uint32_t preferred,
                    LONG xPelsPerMeter, LONG yPelsPerMeter, uint32_t colorsUsed) {
  TW_IMAGEINFO bitmap = image;
  bitmap.BitsPerPixel = static_cast<TW_INT16>(PageLayoutFor(image).bitmapBits);
  std::memset(&header, 0, sizeof header);
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = image.ImageWidth;
  header.biHeight = image.ImageLength;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bitmap.BitsPerPixel);
  header.biCompression = BI_RGB;
  header.biSizeImage = PageSizeImage(bitmap, preferred);
  header.biXPelsPerMeter = xPelsPerMeter;
  header.biYPelsPerMeter = yPelsPerMeter;
  header.biClrUsed = colorsUsed;
  header.biClrImportant = 0;
}
