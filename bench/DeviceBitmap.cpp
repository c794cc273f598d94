#include "bench/DeviceBitmap.h"

#include <cstring>

win::UniqueBitmap NewDibSectionOf(FIBITMAP *image) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  std::memcpy(&info.header, FreeImage_GetInfoHeader(image), sizeof info.header);
  const unsigned colors = FreeImage_GetColorsUsed(image);
  if (colors)
    std::memcpy(info.colors, FreeImage_GetPalette(image), colors * sizeof(RGBQUAD));
  void *bits = nullptr;
  win::UniqueBitmap section(
      ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
  if (section && bits)
    std::memcpy(bits, FreeImage_GetBits(image),
                static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image));
  return section;
}
