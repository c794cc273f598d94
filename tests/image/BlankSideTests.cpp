// Blank sides are set aside and sides with content never are: the labelled set through the
// detector, and pixels it must read the way the page shows them or not judge at all.
#include "image/BlankSide.h"
#include "image/InkGrid.h"
#include "image/JpegLook.h"
#include "tests/fixtures/labelled-pages/LabelledPages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace labelled;

namespace {

// Every kind at 200 dpi; at 300 and 600 dpi (larger pages, slower to draw) the kinds whose
// judgement hangs on the resolution: thin faint lines, marks of a few millimetres, holes and
// staples of a fixed size. bench/BlankSideBench.cpp runs every kind at every resolution.
const struct {
  int Dpi;
  std::vector<const char *> Kinds; // names holding one of these; empty: every kind
} kRuns[] = {{200, {}},
             {300, {"pencil", "1 near the top left", "tick near the bottom", "card", "punch", "staple"}},
             {600, {"hairline", "1 near the bottom right", "four punch"}}};

bool Runs(const std::vector<const char *> &only, const char *name) {
  return only.empty() ||
         std::any_of(only.begin(), only.end(), [&](const char *s) { return std::strstr(name, s); });
}

TEST(BlankSideTest, NoSideWithContentIsSetAsideAndNearlyEveryBlankSideIs) {
  int blanks = 0, setAside = 0;
  for (const auto &run : kRuns)
    for (size_t kind = 0; kind < Kinds().size(); ++kind) {
      if (!Runs(run.Kinds, Kinds()[kind].Name))
        continue;
      const std::vector<TPage> forms = MakeForms(kind, run.Dpi);
      for (TForm form : kForms) {
        const TPage &page = forms[static_cast<int>(form)];
        const bool blank =
            page.Image ? IsBlankSide(page.Image.get()) : IsBlankJpeg(page.Jpeg.data(), page.Jpeg.size());
        if (Kinds()[kind].Content) {
          EXPECT_FALSE(blank) << Kinds()[kind].Name << ", " << FormName(form) << ", " << run.Dpi << " dpi";
        } else {
          ++blanks;
          setAside += blank ? 1 : 0;
        }
      }
    }
  EXPECT_GE(setAside * 100, blanks * 90) << setAside << " of " << blanks;
}

struct PixelCase {
  const char *name;
  int bpp;
  uint8_t fill;               // every byte of the rows
  std::vector<uint8_t> greys; // the palette's greys; empty: none
  size_t pitchShort;          // bytes taken off the row's length
  bool blank;
};

const PixelCase kPixelCases[] = {
    {"white colour", 24, 255, {}, 0, true},
    {"white colour whose fourth byte is 0", 32, 0, {}, 0, true},
    {"a page index 0 shows white on", 8, 0, std::vector<uint8_t>(256, 255), 0, true},
    {"index 0 black", 8, 0, {}, 0, false},
    {"1-bit, index 1 white", 1, 0xFF, {}, 0, true},
    {"1-bit whose index 1 is black", 1, 0xFF, {255, 0}, 0, false},
    {"rows shorter than the width", 8, 255, {}, 1, false},
    {"16 bits a pixel", 16, 255, {}, 0, false},
};

TEST(BlankSideTest, PixelsAreReadAsThePageShowsThemAndOddOnesAreContent) {
  for (const PixelCase &c : kPixelCases) {
    SCOPED_TRACE(c.name);
    const int width = 200, height = 300;
    const size_t pitch = (static_cast<size_t>(width) * c.bpp + 31) / 32 * 4;
    std::vector<uint8_t> rows(pitch * height, c.fill);
    if (c.bpp == 32)
      for (size_t i = 0; i < rows.size(); i += 4)
        rows[i] = rows[i + 1] = rows[i + 2] = 255;
    TPagePixels page;
    page.Bits = rows.data();
    page.Width = width;
    page.Height = height;
    page.Pitch = c.pitchShort ? (static_cast<size_t>(width) * c.bpp + 7) / 8 - c.pitchShort : pitch;
    page.Bpp = c.bpp;
    page.Greys = c.greys.empty() ? nullptr : c.greys.data();
    page.Dpi = 100;
    EXPECT_EQ(IsBlankSide(page), c.blank);
  }
}

TEST(BlankSideTest, AJpegThatCannotBeReadIsContent) {
  const TPage blank = MakePage(Kinds().size() - 1, TForm::JpegGrey, 200);
  ASSERT_TRUE(IsBlankJpeg(blank.Jpeg.data(), blank.Jpeg.size()));
  std::vector<uint8_t> garbled(blank.Jpeg.begin(), blank.Jpeg.begin() + 20);
  garbled.resize(4000, 0x55);
  EXPECT_FALSE(IsBlankJpeg(garbled.data(), garbled.size()));
  EXPECT_FALSE(IsBlankJpeg(nullptr, 0));
  const std::vector<uint8_t> cut(blank.Jpeg.begin(), blank.Jpeg.begin() + blank.Jpeg.size() / 2);
  EXPECT_FALSE(IsBlankJpeg(cut.data(), cut.size())); // a transfer cut short: half a page is unknown
}

// What a page says of itself is not believed past what it could be: a grid too large is not
// allocated, a resolution a sheet of that width cannot have is taken from its width, and a JPEG
// header claiming more than its bytes hold is not decoded. Each is content.
TEST(BlankSideTest, ClaimsNoPageCouldMakeAreContentWithoutBeingAllocated) {
  TCellPooler huge(262144, 16385, 1, 1, 50); // its cell count wraps 32 bits
  EXPECT_TRUE(huge.TooLarge());
  EXPECT_TRUE(HasInk(huge.Take()));
  EXPECT_FALSE(TCellPooler(kMostGridCells, 1, 1, 1, 50).TooLarge()); // the bound itself is judged
  TCellPooler small(9, 8, 1, 4, 50);                                 // a last, partial cell in each direction
  EXPECT_EQ(small.Take().Greys.size(), 3u * 2u);
  const struct {
    double Dpi;
    int Width;
    double Judged;
  } resolutions[] = {
      {300, 2480, 300}, {72, 4960, 4960 / 8.27}, {50, 4960, 4960 / 8.27}, {0, 1654, 200}, {50, 500, 50}};
  for (const auto &r : resolutions)
    EXPECT_NEAR(PageDpi(r.Dpi, r.Width), r.Judged, 1) << r.Dpi << " dpi, " << r.Width << " wide";

  const TPage blank = MakePage(Kinds().size() - 1, TForm::JpegGrey, 200);
  const std::vector<uint8_t> &file = blank.Jpeg;
  const uint8_t sof[] = {0xFF, 0xC0};
  const size_t at = std::search(file.begin(), file.end(), sof, sof + 2) - file.begin();
  ASSERT_LT(at + 9, file.size());
  for (const auto &[width, height] : {std::pair<int, int>{65500, 65500}, {4960, 7016}}) {
    std::vector<uint8_t> claim(file.begin(), file.begin() + std::min(file.size(), at + 200));
    claim[at + 5] = static_cast<uint8_t>(height >> 8), claim[at + 6] = static_cast<uint8_t>(height);
    claim[at + 7] = static_cast<uint8_t>(width >> 8), claim[at + 8] = static_cast<uint8_t>(width);
    EXPECT_FALSE(IsBlankJpeg(claim.data(), claim.size())) << width << " x " << height;
  }
}

TEST(BlankSideTest, AJpegSidesPictureComesFromTheJudgingDecodeAndOnlyWhenAsked) {
  EXPECT_TRUE(TPictureShrinker(0, 100, 1, kSidePictureWidth, kSidePictureHeight).Take().Empty());
  const TPage page = MakePage(Kinds().size() - 1, TForm::JpegColour, 200);
  for (const bool judge : {false, true})
    for (const bool picture : {false, true}) {
      TSideLook look;
      LookAtJpeg(page.Jpeg.data(), page.Jpeg.size(), judge, picture, look);
      EXPECT_EQ(look.Blank, judge);
      EXPECT_EQ(look.Picture.Empty(), !picture);
      if (picture) { // A4's shape in the window's box, paper-coloured in the middle
        EXPECT_EQ(look.Picture.Height, kSidePictureHeight);
        EXPECT_GT(look.Picture.Bgr[look.Picture.Pitch() * 50 + 3 * 35], 200);
      }
    }
}

// Faint marks are text showing through only in a crowd: nine close together (each with eight
// neighbours) are the back's print, eight are someone's notes.
TEST(BlankSideTest, FaintMarksAreShowThroughOnlyInACrowd) {
  for (const int marks : {9, 8}) {
    TInkGrid grid;
    grid.Width = grid.Height = 200; // 100 mm square
    grid.CellMmX = grid.CellMmY = 0.5;
    grid.Greys.assign(200 * 200, 240);
    for (int m = 0; m < marks; ++m) // 2 mm strokes, 25 levels below the paper
      std::fill_n(grid.Greys.begin() + (100 + 2 * (m / 3)) * 200 + 100 + 6 * (m % 3), 4, 215);
    EXPECT_EQ(HasInk(grid), marks < 9) << marks << " marks";
  }
}

} // namespace
