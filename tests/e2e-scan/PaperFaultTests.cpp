// A double feed or a jam through the real window: every page that arrived is written under its
// right name and side, the status says which sheets to put back (by the last page written before
// the failed sheet, which is the last page written here), the counts line counts the fault, Auto
// waits, and after Continue the sheets put back are scanned next, each pair on one stamp again.
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <algorithm>

using namespace e2e;
using namespace e2escan;
using namespace station;

namespace {

struct PaperFaultRow {
  const char *fault;  // the virtual scanner's paper_fault
  bool autoStart;     // Auto ticked, else Go..
  size_t before;      // pages written before the fault
  const char *words;  // the status after "Twain Status:1,C ", the page's name standing for %s
  const char *sheets; // every page at the end by stamp, a group per stamp
};

class PaperFaultTest : public ScanStationTest, public ::testing::WithParamInterface<PaperFaultRow> {};

TEST_P(PaperFaultTest, TheSheetsFromTheFailedOneAreScannedAgainAfterContinue) {
  const PaperFaultRow &row = GetParam();
  Start(SmallPages(6).Set("paper_fault", row.fault));
  TypeOutputFolder();
  Station.Click(row.autoStart ? idCbAuto : idBtGo);
  ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 1)) << "the batch did not end";
  ASSERT_TRUE(WaitForPages(row.before));
  const std::vector<ScannedPage> before = ScannedPages(OutputFolder);
  ASSERT_EQ(before.size(), row.before);

  const std::string name = before.back().path.substr(before.back().path.find_last_of('\\') + 1);
  std::string words = row.words;
  words.replace(words.find("%s"), 2, name);
  const bool doubleFeed = std::string(row.fault).rfind("double_feed", 0) == 0;
  ASSERT_TRUE(Station.Sync());
  EXPECT_EQ(Station.Text(idLbStatus), std::string("Twain Status:1,") + (doubleFeed ? "21 " : "20 ") + words);
  EXPECT_NE(Station.Text(idLbCounts).find("1 paper fault"), std::string::npos) << Station.Text(idLbCounts);
  EXPECT_EQ(Station.Text(idBtGo), "Continue");
  for (int tick = 0; tick < 3; ++tick)
    ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_EQ(CountInLog("CONTROL/USERINTERFACE/ENABLEDS"), 1u)
      << "a batch started before the sheets were back";

  Station.Click(idBtGo);
  const std::string expected = row.sheets;
  const size_t total = expected.size() - std::count(expected.begin(), expected.end(), ' ');
  ASSERT_TRUE(WaitForPages(total)) << ScannedPages(OutputFolder).size() << " pages";
  CloseStation();

  std::string sheets;
  const std::vector<ScannedPage> pages = ScannedPages(OutputFolder);
  for (size_t i = 0; i < pages.size(); ++i)
    sheets += (i > 0 && pages[i].stamp != pages[i - 1].stamp ? " " : "") + std::string(1, pages[i].side);
  EXPECT_EQ(sheets, row.sheets);
}

INSTANTIATE_TEST_SUITE_P(
    DoubleFeedsAndJams, PaperFaultTest,
    ::testing::Values(
        // On a front, no image, the batch ended: sheets 3 to 6 come as the next eight pages.
        PaperFaultRow{"double_feed 3 front", true, 4,
                      "Double feed after %s: put the next sheets back, then Continue", "FB FB FB FB FB FB"},
        PaperFaultRow{"double_feed 3 front pending", false, 4,
                      "Double feed after %s: put the next sheets back, then Continue", "FB FB FB FB FB FB"},
        // On a back, or a front whose doubled image came: that sheet is scanned again whole.
        PaperFaultRow{"double_feed 3 back", false, 5,
                      "Double feed: scan again from the sheet of %s, then Continue", "FB FB F FB FB FB FB"},
        PaperFaultRow{"double_feed 3 front image", true, 5,
                      "Double feed: scan again from the sheet of %s, then Continue", "FB FB F FB FB FB FB"},
        PaperFaultRow{"jam 4 back", true, 7, "Paper jam: scan again from the sheet of %s, then Continue",
                      "FB FB FB F FB FB FB"},
        PaperFaultRow{"jam 4 back pending", false, 7,
                      "Paper jam: scan again from the sheet of %s, then Continue", "FB FB FB F FB FB FB"}));

} // namespace
