// The pages document scanners send every day, each through the whole station: black and white in
// either flavour, 16-level grey, JPEG compressed by the scanner, undetermined length, and the
// side of each page told by the scanner, by a simplex feed or by the place in the batch.
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"
#include "sources/virtual-scanner/JpegPage.h"
#include "sources/virtual-scanner/Scenario.h"
#include "twain/CompressedPage.h"

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

using namespace e2e;
using namespace e2escan;
using namespace station;
using testsupport::ScannerScenario;

namespace {

// A written file: the scanner's page it holds, and its name's side and stamp.
struct ExpectedPage {
  int page, side, sheet;
  char letter;
  bool stampOfPrevious; // a back named with its front's stamp
};

struct PageKindCase {
  const char *name;
  std::vector<std::pair<const char *, const char *>> keys; // on top of two small duplex sheets
  std::vector<ExpectedPage> pages;
  bool scannersOwnBytes = false; // the file is the scanner's JPEG, resolution set
};

const std::vector<ExpectedPage> kTwoDuplexSheets = {
    {1, 0, 1, 'F', false}, {2, 1, 1, 'B', true}, {3, 0, 2, 'F', false}, {4, 1, 2, 'B', true}};

const PageKindCase kCases[] = {
    {"black and white", {{"pixel_type", "bw"}}, kTwoDuplexSheets},
    {"black and white, vanilla", {{"pixel_type", "bw"}, {"pixel_flavor", "vanilla"}}, kTwoDuplexSheets},
    {"grey, vanilla", {{"pixel_type", "gray"}, {"pixel_flavor", "vanilla"}}, kTwoDuplexSheets},
    {"16-level grey, vanilla",
     {{"pixel_type", "gray"}, {"bit_depth", "4"}, {"pixel_flavor", "vanilla"}},
     kTwoDuplexSheets},
    {"JPEG from the scanner", {{"compression", "jpeg"}, {"strip_bytes", "1000"}}, kTwoDuplexSheets, true},
    {"grey JPEG from the scanner", {{"compression", "jpeg"}, {"pixel_type", "gray"}}, kTwoDuplexSheets, true},
    {"undetermined length", {{"undefined_length", "1"}, {"strip_bytes", "700"}}, kTwoDuplexSheets},
    // The back of the first sheet is blank and dropped: the scanner names the sides.
    {"dropped blank back, sides from the scanner",
     {{"page_side", "1"}, {"dropped_pages", "2"}},
     {{1, 0, 1, 'F', false}, {3, 0, 2, 'F', false}, {4, 1, 2, 'B', true}}},
    // The front of the second sheet is dropped: its back gets a stamp of its own.
    {"dropped blank front, sides from the scanner",
     {{"page_side", "1"}, {"dropped_pages", "3"}},
     {{1, 0, 1, 'F', false}, {2, 1, 1, 'B', true}, {4, 1, 2, 'B', false}}},
    {"simplex", {{"sides", "1"}}, {{1, 0, 1, 'F', false}, {2, 0, 2, 'F', false}}},
    // A strict driver tells the side only once ICAP_EXTIMAGEINFO was set TRUE.
    {"dropped blank back, sides from a strict driver",
     {{"page_side", "strict"}, {"dropped_pages", "2"}},
     {{1, 0, 1, 'F', false}, {3, 0, 2, 'F', false}, {4, 1, 2, 'B', true}}},
    {"dropped blank front, sides from a strict driver",
     {{"page_side", "strict"}, {"dropped_pages", "3"}},
     {{1, 0, 1, 'F', false}, {2, 1, 1, 'B', true}, {4, 1, 2, 'B', false}}},
    // Duplex off, told as an enumeration whose current item is FALSE.
    {"simplex, duplex as an enumeration",
     {{"sides", "1"}, {"duplex_enumeration", "1"}},
     {{1, 0, 1, 'F', false}, {2, 0, 2, 'F', false}}},
};

std::vector<uint8_t> FileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using ScanPageKindsTest = ScanStationTest;
class ScanPageKindTest : public ScanStationTest, public ::testing::WithParamInterface<PageKindCase> {};

TEST_P(ScanPageKindTest, IsWrittenWithItsPixelsUnderItsSide) {
  {
    const PageKindCase &c = GetParam();
    SCOPED_TRACE(c.name);
    ScannerScenario scenario = SmallPages(2);
    vscan::Scenario parsed;
    std::vector<std::string> errors;
    std::string text;
    for (const auto &key : c.keys) {
      scenario.Set(key.first, key.second);
      text += std::string(key.first) + "=" + key.second + "\n";
    }
    vscan::ParseScenario("width=120\nheight=160\n" + text, parsed, errors);
    const vscan::PageFormat format = vscan::FormatOf(parsed);

    Start(scenario);
    TypeOutputFolder();
    Station.Click(idBtGo);
    ASSERT_TRUE(WaitForPages(c.pages.size())) << ScannedPages(OutputFolder).size() << " pages";
    ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 1));
    EXPECT_EQ(Station.Text(idLbStatus), "");
    CloseStation();

    const auto pages = ScannedPages(OutputFolder);
    ASSERT_EQ(pages.size(), c.pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
      const ExpectedPage &want = c.pages[i];
      SCOPED_TRACE(pages[i].path);
      EXPECT_EQ(pages[i].side, want.letter);
      if (i > 0) {
        EXPECT_EQ(pages[i].stamp == pages[i - 1].stamp, want.stampOfPrevious);
      }
      const PageComparison page = ComparePage(pages[i].path, format, want.page, want.side, want.sheet);
      ASSERT_TRUE(page.decoded);
      EXPECT_EQ(page.width, 120);
      EXPECT_EQ(page.height, 160);
      EXPECT_LT(page.WorstChannel(), kJpegTolerance)
          << page.meanError[0] << " " << page.meanError[1] << " " << page.meanError[2];
      if (c.scannersOwnBytes) {
        // Byte for byte what the scanner sent, but for the resolution it left out.
        std::vector<uint8_t> sent = vscan::JpegPage(format, want.page, want.side, want.sheet);
        ASSERT_TRUE(SetJfifDensity(sent.data(), sent.size(), 100, 100));
        EXPECT_TRUE(FileBytes(pages[i].path) == sent);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ScanPageKindTest, ::testing::ValuesIn(kCases));

// A page the station cannot read is reported and nothing is written for it.
TEST_F(ScanPageKindsTest, CompressionTheStationCannotReadFailsThePagesAndWritesNothing) {
  Start(SmallPages(1).Set("compression", "group4"));
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 1));
  EXPECT_EQ(Station.Text(idLbStatus), "Twain Status:1,10"); // TWCC_BADVALUE
  CloseStation();
  EXPECT_TRUE(ScannedPages(OutputFolder).empty());
}

} // namespace
