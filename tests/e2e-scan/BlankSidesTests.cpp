// Blank sides set aside, never lost: eight duplex sheets whose backs 2, 5 and 7 are bare paper,
// scanned with "Set blank sides aside" ticked and not, and the window's counts of the batch.
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <algorithm>

using namespace e2e;
using namespace e2escan;
using namespace station;

namespace {

struct BlankAsideCase {
  const char *name;
  bool ticked;
  size_t inFolder, inBlank;
  const char *counts;
};

const BlankAsideCase kCases[] = {
    {"ticked", true, 13, 3, "This batch: 8 sheets, 16 pages, 3 blank"},
    {"off: every page as without the box", false, 16, 0, "This batch: 8 sheets, 16 pages, 0 blank"},
};

class BlankSidesTest : public ScanStationTest, public ::testing::WithParamInterface<BlankAsideCase> {};

TEST_P(BlankSidesTest, EightSheetsWithThreeBlankBacks) {
  const BlankAsideCase &c = GetParam();
  SCOPED_TRACE(c.name);
  const std::string blankFolder = OutputFolder + "\\Blank";
  for (const std::string &name : FilesIn(blankFolder))
    ::DeleteFileA((blankFolder + "\\" + name).c_str());
  ::RemoveDirectoryA(blankFolder.c_str());

  Start(SmallPages(8).Set("blank_pages", "4,10,14"));
  TypeOutputFolder();
  if (Station.IsTicked(idCbBlankAside) != c.ticked)
    Station.Click(idCbBlankAside);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbBlankAside) == c.ticked; }));
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitFor([&] {
    return ScannedPages(OutputFolder).size() == c.inFolder && ScannedPages(blankFolder).size() == c.inBlank;
  })) << ScannedPages(OutputFolder).size()
      << " + " << ScannedPages(blankFolder).size() << " pages";
  ASSERT_TRUE(WaitFor([&] { return Station.Text(idLbCounts).rfind(c.counts, 0) == 0; }))
      << Station.Text(idLbCounts);
  CloseStation();

  // Every side under the name it has without the box; the blank ones are the backs 2, 5 and 7.
  std::vector<ScannedPage> all = ScannedPages(OutputFolder), blanks = ScannedPages(blankFolder);
  all.insert(all.end(), blanks.begin(), blanks.end());
  std::sort(all.begin(), all.end(), [](const ScannedPage &a, const ScannedPage &b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.side == 'F' && b.side != 'F';
  });
  ASSERT_EQ(all.size(), 16u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].side, i % 2 ? 'B' : 'F') << all[i].path;
    const bool setAside = all[i].path.find("\\Blank\\") != std::string::npos;
    EXPECT_EQ(setAside, c.ticked && (i == 3 || i == 9 || i == 13)) << all[i].path;
  }
}

INSTANTIATE_TEST_SUITE_P(Box, BlankSidesTest, ::testing::ValuesIn(kCases));

} // namespace
