#include "image/SidePicture.h"

#include <windows.h>

#include <FreeImage.h>

#include <algorithm>

namespace {

// Blue, green, red of pixel x of a FreeImage row (bottom-up like the picture's).
void PixelAt(FIBITMAP *page, const BYTE *row, unsigned x, const RGBQUAD *palette, uint8_t *bgr) {
  switch (FreeImage_GetBPP(page)) {
  case 1: {
    const RGBQUAD &c = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
    bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
    return;
  }
  case 8: {
    const RGBQUAD &c = palette[row[x]];
    bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
    return;
  }
  default: {
    const BYTE *p = row + x * (FreeImage_GetBPP(page) / 8);
    bgr[0] = p[FI_RGBA_BLUE], bgr[1] = p[FI_RGBA_GREEN], bgr[2] = p[FI_RGBA_RED];
  }
  }
}

} // namespace

TSidePicture SidePictureOf(FIBITMAP *page, int maxWidth, int maxHeight) {
  TSidePicture picture;
  if (!page || FreeImage_GetImageType(page) != FIT_BITMAP || maxWidth <= 0 || maxHeight <= 0)
    return picture;
  const unsigned bpp = FreeImage_GetBPP(page);
  const RGBQUAD *palette = FreeImage_GetPalette(page);
  const unsigned width = FreeImage_GetWidth(page), height = FreeImage_GetHeight(page);
  if ((bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) || (bpp <= 8 && !palette) || width == 0 || height == 0)
    return picture;
  const double scale =
      std::max({static_cast<double>(width) / maxWidth, static_cast<double>(height) / maxHeight, 1.0});
  picture.Width = std::max(1, static_cast<int>(width / scale));
  picture.Height = std::max(1, static_cast<int>(height / scale));
  picture.Bgr.assign(picture.Pitch() * picture.Height, 0);
  // Four samples a picture pixel, at the quarters of the area it stands for: text turns grey
  // instead of flickering between ink and paper.
  for (int y = 0; y < picture.Height; ++y) {
    uint8_t *out = picture.Bgr.data() + picture.Pitch() * y;
    for (int x = 0; x < picture.Width; ++x) {
      unsigned sum[3] = {};
      for (int s = 0; s < 4; ++s) {
        const unsigned sx = std::min(width - 1, static_cast<unsigned>((x + 0.25 + 0.5 * (s & 1)) * scale));
        const unsigned sy = std::min(height - 1, static_cast<unsigned>((y + 0.25 + 0.5 * (s >> 1)) * scale));
        uint8_t bgr[3];
        PixelAt(page, FreeImage_GetScanLine(page, static_cast<int>(sy)), sx, palette, bgr);
        for (int k = 0; k < 3; ++k)
          sum[k] += bgr[k];
      }
      for (int k = 0; k < 3; ++k)
        out[3 * x + k] = static_cast<uint8_t>(sum[k] / 4);
    }
  }
  return picture;
}
