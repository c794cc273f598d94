#include "image/BlankSide.h"

#include "image/InkGrid.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The grey each index shows, 256 entries for either depth of indexed pixels.
std::array<uint8_t, 256> GreyTable(const TPagePixels &page) {
  std::array<uint8_t, 256> greys{};
  for (int i = 0; i < 256; ++i)
    greys[i] = static_cast<uint8_t>(i);
  if (page.Bpp == 1) {
    greys[0] = page.Greys ? page.Greys[0] : 0;
    greys[1] = page.Greys ? page.Greys[1] : 255;
  } else if (page.Bpp == 8 && page.Greys) {
    std::copy(page.Greys, page.Greys + 256, greys.begin());
  }
  return greys;
}

bool IsIdentity(const std::array<uint8_t, 256> &greys) {
  for (int i = 0; i < 256; ++i)
    if (greys[i] != i)
      return false;
  return true;
}

uint8_t PixelGrey(const TPagePixels &page, const uint8_t *row, int x, const std::array<uint8_t, 256> &greys) {
  switch (page.Bpp) {
  case 1:
    return greys[(row[x >> 3] >> (7 - (x & 7))) & 1];
  case 8:
    return greys[row[x]];
  default: {
    const uint8_t *p = row + static_cast<size_t>(x) * (page.Bpp / 8);
    return std::min({p[0], p[1], p[2]});
  }
  }
}

// A look at one pixel in every few millimetres, away from the edges where holes, staples and
// shadows are: a page plainly written on is known at once, without reading all its pixels.
bool PlainlyWritten(const TPagePixels &page, double dpi, const std::array<uint8_t, 256> &greys) {
  constexpr double kStepMm = 1.0, kMarginMm = 25;
  constexpr int kInkContrast = 56;
  const int step = std::max(1, static_cast<int>(dpi * kStepMm / 25.4));
  const int margin = static_cast<int>(dpi * kMarginMm / 25.4);
  int64_t histogram[256] = {};
  int64_t samples = 0;
  for (int y = margin; y < page.Height - margin; y += step) {
    const uint8_t *row = page.Bits + page.Pitch * static_cast<size_t>(y);
    for (int x = margin; x < page.Width - margin; x += step) {
      ++histogram[PixelGrey(page, row, x, greys)];
      ++samples;
    }
  }
  // The paper: the brightest tenth of the samples begins there.
  int64_t seen = 0;
  int paper = 255;
  while (paper > 0 && (seen += histogram[paper]) * 10 < samples)
    --paper;
  int64_t ink = 0;
  for (int v = 0; v < paper - kInkContrast; ++v)
    ink += histogram[v];
  // One in two hundred: dust never comes near it, a text page or a form is far beyond it.
  return ink >= 20 && ink * 200 >= samples;
}

// Every pixel, each cell its darkest: no stroke is missed.
TInkGrid PooledGrid(const TPagePixels &page, TCellPooler &pooler, const std::array<uint8_t, 256> &greys) {
  const bool direct = page.Bpp >= 24 || (page.Bpp == 8 && IsIdentity(greys));
  std::vector<uint8_t> converted(direct ? 0 : static_cast<size_t>(page.Width + 7));
  // 1 bit: each byte's eight greys at once.
  std::vector<std::array<uint8_t, 8>> bytes(page.Bpp == 1 ? 256 : 0);
  for (size_t b = 0; b < bytes.size(); ++b)
    for (int bit = 0; bit < 8; ++bit)
      bytes[b][bit] = greys[(b >> (7 - bit)) & 1];
  for (int y = 0; y < page.Height; ++y) {
    const uint8_t *row = page.Bits + page.Pitch * static_cast<size_t>(y);
    if (page.Bpp == 1) {
      for (int i = 0; i < (page.Width + 7) / 8; ++i)
        std::memcpy(&converted[static_cast<size_t>(i) * 8], bytes[row[i]].data(), 8);
      row = converted.data();
    } else if (!direct) {
      for (int x = 0; x < page.Width; ++x)
        converted[x] = greys[row[x]];
      row = converted.data();
    }
    pooler.AddRow(row);
  }
  return pooler.Take();
}

bool Describable(const TPagePixels &page) {
  const bool depth = page.Bpp == 1 || page.Bpp == 8 || page.Bpp == 24 || page.Bpp == 32;
  return depth && page.Bits && page.Width > 0 && page.Height > 0 &&
         page.Pitch >= (static_cast<uint64_t>(page.Width) * page.Bpp + 7) / 8;
}

} // namespace

bool IsBlankSide(const TPagePixels &page) {
  if (!Describable(page))
    return false;
  const double dpi = PageDpi(page.Dpi, page.Width);
  const std::array<uint8_t, 256> greys = GreyTable(page);
  const bool direct = page.Bpp >= 24 || (page.Bpp == 8 && IsIdentity(greys));
  TCellPooler pooler(page.Width, page.Height, direct ? page.Bpp / 8 : 1, CellPixels(dpi), dpi);
  if (pooler.TooLarge() || PlainlyWritten(page, dpi, greys))
    return false;
  return !HasInk(PooledGrid(page, pooler, greys));
}
