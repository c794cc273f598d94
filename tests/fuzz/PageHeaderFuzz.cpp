// A source's image description, however unlikely, turned into the page bitmap's header and colour
// table; the resolution conversion for every value a TW_FIX32 can carry.
#include "tests/fuzz/FuzzInput.h"
#include "twain/PageHeader.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  TW_IMAGEINFO image = in.Take<TW_IMAGEINFO>();
  const uint32_t preferred = in.Take<uint32_t>();
  const TW_FIX32 resolution = in.Take<TW_FIX32>();
  const auto unit = static_cast<TTwainMeasureUnit>(in.Take<uint8_t>() % 8);
  const long double value = resolution.Whole + resolution.Frac / 65536.0L;
  const LONG perMeter = PixelsPerMeter(value, unit, in.Take<uint8_t>() & 1);
  PixelsPerMeter(in.Take<double>(), unit, true);

  TW_PALETTE8 palette = in.Take<TW_PALETTE8>();
  TPageBitmapInfo info{};
  FillPaletteColors(info.Colors, palette);
  FillGreyRamp(info.Colors, in.Take<uint8_t>() % 9, static_cast<TTwainFlavor>(in.Take<uint8_t>() % 3));
  FillBlackWhiteColors(info.Colors, static_cast<TTwainFlavor>(in.Take<uint8_t>() % 3));
  if (!PageDescriptionUsable(image))
    return 0;
  const TPageLayout layout = PageLayoutFor(image);
  FillPageHeader(info.Header, image, preferred, perMeter, perMeter, 0);
  if (info.Header.biSizeImage < DibRowStride(layout.bitmapBits, uint32_t(image.ImageWidth)))
    __builtin_trap(); // the header must hold at least one row
  return 0;
}
