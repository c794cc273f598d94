#include "tests/e2e-scan/PageCheck.h"

#include "sources/virtual-scanner/Pattern.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace e2escan {

double PageComparison::WorstChannel() const { return std::max({meanError[0], meanError[1], meanError[2]}); }

namespace {

// FreeImage's plugins are registered once for the whole test program.
class FreeImageEnvironment : public ::testing::Environment {
public:
  void SetUp() override { FreeImage_Initialise(TRUE); }
  void TearDown() override { FreeImage_DeInitialise(); }
};
const auto *const kFreeImage = ::testing::AddGlobalTestEnvironment(new FreeImageEnvironment);

struct Unload {
  void operator()(FIBITMAP *bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unload>;

// Pixel (x, y) counted from the top-left; FreeImage keeps rows bottom-up, blue first.
vscan::Rgb PixelAt(FIBITMAP *bitmap, int x, int y) {
  const BYTE *row = FreeImage_GetScanLine(bitmap, static_cast<int>(FreeImage_GetHeight(bitmap)) - 1 - y);
  const BYTE *p = row + 3 * x;
  return vscan::Rgb{p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]};
}

// Mean absolute difference per channel over the page, from (what the file holds, what the scanner
// drew) at each pixel.
template <typename PixelPair> void MeasureMeanError(PageComparison &result, PixelPair pixelsAt) {
  double sum[3] = {};
  for (int y = 0; y < result.height; ++y)
    for (int x = 0; x < result.width; ++x) {
      const auto [got, want] = pixelsAt(x, y);
      sum[0] += std::abs(got.r - want.r);
      sum[1] += std::abs(got.g - want.g);
      sum[2] += std::abs(got.b - want.b);
    }
  const double pixels = static_cast<double>(result.width) * result.height;
  for (int c = 0; c < 3; ++c)
    result.meanError[c] = pixels > 0 ? sum[c] / pixels : 0;
}

bool LooksRed(const vscan::Rgb &c) { return c.r > 180 && c.g < 80 && c.b < 80; }

} // namespace

PageComparison CompareWithPattern(const std::string &jpegPath, int page, int side) {
  PageComparison result;
  Bitmap bitmap(FreeImage_Load(FIF_JPEG, jpegPath.c_str(), 0));
  if (!bitmap || FreeImage_GetBPP(bitmap.get()) != 24)
    return result;
  result.decoded = true;
  result.width = static_cast<int>(FreeImage_GetWidth(bitmap.get()));
  result.height = static_cast<int>(FreeImage_GetHeight(bitmap.get()));

  MeasureMeanError(result, [&](int x, int y) {
    return std::make_pair(PixelAt(bitmap.get(), x, y), vscan::RgbPixel(page, side, x, y));
  });

  // The centre of the marker is red, the centres of the other corners' blocks are not.
  const int centre = vscan::kMarkerSize / 2;
  const int right = result.width - 1 - centre, bottom = result.height - 1 - centre;
  result.markerTopLeft =
      result.width > 2 * vscan::kMarkerSize && result.height > 2 * vscan::kMarkerSize &&
      LooksRed(PixelAt(bitmap.get(), centre, centre)) && !LooksRed(PixelAt(bitmap.get(), right, centre)) &&
      !LooksRed(PixelAt(bitmap.get(), centre, bottom)) && !LooksRed(PixelAt(bitmap.get(), right, bottom));
  return result;
}

PageComparison ComparePage(const std::string &jpegPath, const vscan::PageFormat &format, int page, int side,
                           int sheet) {
  PageComparison result;
  Bitmap bitmap(FreeImage_Load(FIF_JPEG, jpegPath.c_str(), JPEG_ACCURATE));
  const bool grey = format.kind != vscan::PixelKind::Rgb;
  if (!bitmap || FreeImage_GetBPP(bitmap.get()) != (grey ? 8u : 24u))
    return result;
  result.decoded = true;
  result.width = static_cast<int>(FreeImage_GetWidth(bitmap.get()));
  result.height = static_cast<int>(FreeImage_GetHeight(bitmap.get()));
  const int bits = format.bits > 8 ? 8 : format.bits;
  MeasureMeanError(result, [&](int x, int y) {
    vscan::Rgb want, got;
    if (grey) {
      const unsigned sample = vscan::SampleValue(format.kind, bits, format.vanilla, page, side, x, y, sheet);
      vscan::PageFormat levels = format;
      levels.bits = bits;
      want = vscan::EntryColor(levels, sample);
      const BYTE level =
          FreeImage_GetScanLine(bitmap.get(), static_cast<int>(FreeImage_GetHeight(bitmap.get())) - 1 - y)[x];
      got = vscan::Rgb{level, level, level};
      if (format.kind == vscan::PixelKind::Bw) {
        // JPEG rings at every black-white edge: judge which side of mid-grey each pixel lies.
        got = level >= 128 ? vscan::Rgb{255, 255, 255} : vscan::Rgb{0, 0, 0};
      }
    } else {
      want = vscan::RgbPixel(page, side, x, y, sheet);
      got = PixelAt(bitmap.get(), x, y);
    }
    return std::make_pair(got, want);
  });
  return result;
}

} // namespace e2escan
