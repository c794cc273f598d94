// The scenario parser, the feeder's bookkeeping and the page pattern, without the DLL.
#include "sources/virtual-scanner/Feeder.h"
#include "sources/virtual-scanner/Pattern.h"
#include "sources/virtual-scanner/Scenario.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vscan;

TEST(Scenario, ReadsKeysInAnySectionAndReportsWhatItCannotUse) {
  Scenario s;
  std::vector<std::string> errors;
  ParseScenario("[scanner]\n"
                "devices = KV-S1027C Virtual | KV-S1065C Virtual\n"
                "; comment\n"
                "sheets=5\n"
                "[page]\n"
                "pixel_type = palette\n"
                "bit_depth = 4\n"
                "pad_rows = no\n"
                "mechanisms = memory, file\n"
                "fault = CONTROL USERINTERFACE ENABLEDS rc=FAILURE cc=0x10\n"
                "fault = 2/0x0103/1 page=3 once rc=3 cc=SUCCESS\n"
                "sides = 3\n"
                "sheets = 40000\n"
                "colour = blue\n",
                s, errors);
  EXPECT_EQ(s.devices, (std::vector<std::string>{"KV-S1027C Virtual", "KV-S1065C Virtual"}));
  EXPECT_EQ(s.sheets, 5); // 40000 sheets would overflow a pending count and are refused
  EXPECT_EQ(s.pixelKind, PixelKind::Palette);
  EXPECT_EQ(s.bitDepth, 4);
  EXPECT_FALSE(s.padRows);
  EXPECT_TRUE(s.memoryXfer && s.fileXfer && !s.nativeXfer);
  ASSERT_EQ(s.faults.size(), 2u);
  EXPECT_EQ(s.faults[0].dg, 1u);
  EXPECT_EQ(s.faults[0].dat, 9);
  EXPECT_EQ(s.faults[0].msg, 0x0502);
  EXPECT_EQ(s.faults[0].cc, 16);
  EXPECT_EQ(s.faults[1].dat, 0x0103);
  EXPECT_EQ(s.faults[1].page, 3);
  EXPECT_TRUE(s.faults[1].once);
  EXPECT_EQ(s.faults[1].rc, 3);
  EXPECT_EQ(s.sides, 2); // 3 is refused
  EXPECT_EQ(errors.size(), 3u);
}

TEST(Scenario, ABitDepthThatDoesNotFitThePixelTypeFallsBackToItsDefault) {
  Scenario s;
  std::vector<std::string> errors;
  ParseScenario("pixel_type = gray\nbit_depth = 24\n", s, errors);
  EXPECT_EQ(s.bitDepth, 8);
  EXPECT_EQ(errors.size(), 1u);
  Scenario bw;
  ParseScenario("pixel_type = bw\n", bw, errors);
  EXPECT_EQ(bw.bitDepth, 1);
  // So does a page wider than a TWAIN frame can say.
  Scenario wide;
  ParseScenario("width = 40000\nresolution = 1\n", wide, errors);
  EXPECT_EQ(wide.width, Scenario{}.width);
  EXPECT_EQ(errors.size(), 2u);
}

TEST(Feeder, CountsBothSidesAndLeavesUnpulledSheetsAfterAReset) {
  Scenario s;
  s.sheets = 3;
  Feeder f;
  f.Load(s);
  ASSERT_TRUE(f.StartBatch());
  EXPECT_EQ(f.SheetsInFeeder(), 2);
  EXPECT_EQ(f.Pending(), 6);
  EXPECT_EQ(f.EndPage(), 5);
  EXPECT_EQ(f.Side(), 1);
  EXPECT_EQ(f.Sheet(), 1); // the back of the first sheet
  EXPECT_EQ(f.EndPage(), 4);
  EXPECT_EQ(f.Page(), 3);
  EXPECT_EQ(f.Sheet(), 2);
  EXPECT_EQ(f.SheetsInFeeder(), 1);
  f.Reset();
  EXPECT_EQ(f.Pending(), 0);
  EXPECT_TRUE(f.Loaded());
  ASSERT_TRUE(f.StartBatch());
  EXPECT_EQ(f.Page(), 4); // page and sheet numbers go on across batches
  EXPECT_EQ(f.Sheet(), 3);
  EXPECT_EQ(f.Pending(), 2);
}

TEST(Feeder, RefillsAnEmptyFeederAsOftenAsTheScenarioSays) {
  Scenario s;
  s.sheets = 1;
  s.sides = 1;
  s.refills = 1;
  Feeder f;
  f.Load(s);
  for (int batch = 0; batch < 2; ++batch) {
    ASSERT_TRUE(f.StartBatch()) << batch;
    EXPECT_EQ(f.Sheet(), batch + 1); // one page per sheet
    EXPECT_EQ(f.EndPage(), 0);
  }
  EXPECT_FALSE(f.Loaded());
  EXPECT_FALSE(f.StartBatch());
}

// The scanner fills pages a row at a time; tests compute the expected pixels one at a time. Both
// must draw the same document, also where a narrow page cuts words, the title and the picture.
TEST(Pattern, RowsFilledAtOnceShowWhatThePixelFunctionsSay) {
  struct Case {
    PixelKind kind;
    int bits;
    bool vanilla;
    int width;
    int sheet = 3; // a long number makes the title reach past the text
  };
  const Case cases[] = {{PixelKind::Rgb, 24, false, 900},
                        {PixelKind::Rgb, 32, false, 500},
                        {PixelKind::Gray, 8, false, 900},
                        {PixelKind::Gray, 4, true, 613},
                        {PixelKind::Gray, 16, false, 475},
                        {PixelKind::Bw, 1, true, 900},
                        {PixelKind::Rgb, 32, false, 1201, 12345678},
                        {PixelKind::Gray, 16, true, 1201, 12345678}};
  constexpr int kHeight = 700, page = 6, side = 1;
  for (const Case &c : cases) {
    const int sheet = c.sheet;
    SCOPED_TRACE(static_cast<int>(c.kind) * 100 + c.bits);
    std::vector<uint8_t> row(RowBytes(static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.bits), true));
    for (int y = 0; y < kHeight; ++y) {
      FillRow(c.kind, c.bits, c.vanilla, page, side, c.width, y, row.data(), sheet);
      for (int x = 0; x < c.width; ++x) {
        if (c.kind == PixelKind::Rgb) {
          const uint8_t *p = row.data() + (c.bits / 8) * x;
          ASSERT_EQ(Rgb({p[0], p[1], p[2]}), RgbPixel(page, side, x, y, sheet)) << x << "," << y;
        } else if (c.bits == 16) {
          ASSERT_EQ(row[2 * x], SampleValue(c.kind, 8, c.vanilla, page, side, x, y, sheet)) << x << "," << y;
        } else {
          ASSERT_EQ(ReadSample(row.data(), c.bits, x),
                    SampleValue(c.kind, c.bits, c.vanilla, page, side, x, y, sheet))
              << x << "," << y;
        }
      }
    }
  }
}
