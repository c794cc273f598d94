#include "bench/PatternPage.h"

#include "sources/virtual-scanner/Pattern.h"

FIBITMAP *NewPatternPage(int width, int height, int bpp, int page) {
  FIBITMAP *image = FreeImage_Allocate(width, height, bpp);
  if (!image)
    return nullptr;
  if (bpp == 8) {
    RGBQUAD *palette = FreeImage_GetPalette(image);
    for (int i = 0; i < 256; ++i)
      palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
  }
  const int side = (page - 1) % 2;
  for (int y = 0; y < height; ++y) {
    // FreeImage rows are bottom-up: scan line 0 is the page's last row.
    BYTE *row = FreeImage_GetScanLine(image, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      if (bpp == 24) {
        const vscan::Rgb c = vscan::RgbPixel(page, side, x, y);
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
      } else {
        row[x] = static_cast<BYTE>(vscan::GrayLevel(page, side, x, y, 8));
      }
    }
  }
  return image;
}

size_t PixelBytes(FIBITMAP *image) {
  return static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image);
}
