// A page's pixels as a source describes them, however unlikely (sizes, depth, pitch, palette,
// resolution), judged for blankness and shrunk to a picture; and the detector's grid for sizes no
// page could have.
#include "image/BlankSide.h"
#include "image/InkGrid.h"
#include "image/SidePicture.h"
#include "tests/fuzz/FuzzInput.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  // Sizes no page could have: the grid refuses them before it allocates.
  const int hugeWidth = in.Take<int>(), hugeHeight = in.Take<int>();
  TCellPooler huge(hugeWidth, hugeHeight, 1 + in.Take<uint8_t>() % 4, in.Take<uint8_t>(), in.Take<double>());
  if (!huge.TooLarge() && static_cast<uint64_t>(huge.Take().Greys.size()) > kMostGridCells)
    __builtin_trap();

  TPagePixels page;
  page.Width = in.Take<uint16_t>() % 600;
  page.Height = in.Take<uint16_t>() % 600;
  const int depths[] = {1, 8, 24, 32, 16};
  page.Bpp = depths[in.Take<uint8_t>() % 5];
  page.Pitch = (static_cast<size_t>(page.Width) * page.Bpp + 7) / 8 + in.Take<uint8_t>() % 8;
  if (in.Take<uint8_t>() & 1)
    page.Pitch -= page.Pitch > 0; // a row shorter than the width says: refused
  page.Dpi = in.Take<double>();
  const uint8_t palette[256] = {};
  std::vector<uint8_t> greys(256);
  const int paletteKind = in.Take<uint8_t>() % 3;
  page.Greys = paletteKind == 0 ? nullptr : paletteKind == 1 ? palette : greys.data();
  size_t got = 0;
  const uint8_t *grey = in.Block(greys.size(), got);
  std::copy(grey, grey + got, greys.begin());
  // The rows: exactly Pitch x Height bytes, the input's rest repeated over them.
  std::vector<uint8_t> rows(page.Pitch * page.Height);
  const uint8_t *rest = in.Rest(got);
  for (size_t i = 0; got && i < rows.size(); ++i)
    rows[i] = rest[i % got];
  page.Bits = rows.empty() ? nullptr : rows.data();
  IsBlankSide(page);

  // The picture of rows that run past the height they were given: the surplus is not drawn.
  TPictureShrinker shrinker(page.Width, page.Height / 2, 1, kSidePictureWidth, kSidePictureHeight);
  for (int y = 0; y < page.Height && page.Pitch >= static_cast<size_t>(page.Width); ++y)
    shrinker.Row(rows.data() + page.Pitch * y);
  shrinker.Take();
  return 0;
}
