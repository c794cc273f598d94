// A FreeImage page handed to the pixel detector as it lies in memory, its palette as greys.
#include "image/BlankSide.h"

#include <windows.h>

#include <FreeImage.h>

#include <algorithm>

bool IsBlankSide(FIBITMAP *image) {
  if (!image || FreeImage_GetImageType(image) != FIT_BITMAP)
    return false;
  TPagePixels page;
  page.Bits = FreeImage_GetBits(image);
  page.Width = static_cast<int>(FreeImage_GetWidth(image));
  page.Height = static_cast<int>(FreeImage_GetHeight(image));
  page.Pitch = FreeImage_GetPitch(image);
  page.Bpp = static_cast<int>(FreeImage_GetBPP(image));
  page.Dpi = FreeImage_GetDotsPerMeterX(image) * 0.0254;
  uint8_t greys[256] = {};
  const RGBQUAD *palette = FreeImage_GetPalette(image);
  const unsigned colours = FreeImage_GetColorsUsed(image);
  if (page.Bpp <= 8) {
    if (!palette || colours != (1u << page.Bpp))
      return false;
    for (unsigned i = 0; i < colours; ++i)
      greys[i] = std::min({palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue});
    page.Greys = greys;
  }
  return IsBlankSide(page);
}
