// What the station does when something goes wrong on the road of a sheet, which scanner it
// picks, and that closing it loses no page.
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"
#include "twain/TwainRecords.h"

#include <set>

using namespace e2e;
using namespace e2escan;
using namespace station;
using testsupport::ScannerScenario;

namespace {

using ScanFailureTest = ScanStationTest;

TEST_F(ScanFailureTest, FailedTransferIsShownAsTwainStatusAndTheLaterPagesStillArrive) {
  Start(SmallPages(3).Fault("IMAGE/IMAGEMEMXFER/GET page=2 rc=FAILURE cc=OPERATIONERROR"));
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 1));
  EXPECT_EQ(Station.Text(idLbStatus), "Twain Status:1,5");
  CloseStation();

  // Pages 1, 3, 4, 5 and 6 arrived, each with its own pattern and named by its own side: the
  // failed back still took its side.
  const auto pages = ScannedPages(OutputFolder);
  ASSERT_EQ(pages.size(), 5u);
  const int scannerPage[] = {1, 3, 4, 5, 6};
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(pages[i].path);
    const int page = scannerPage[i];
    EXPECT_EQ(pages[i].side, page % 2 == 1 ? 'F' : 'B');
    const PageComparison c = CompareWithPattern(pages[i].path, page, (page - 1) % 2);
    EXPECT_LT(c.WorstChannel(), kJpegTolerance);
    EXPECT_TRUE(c.markerTopLeft);
  }
}

TEST_F(ScanFailureTest, FirstScannerWithKvsInItsNameInAnyCaseIsChosen) {
  Start(SmallPages(1).Devices({"Office Flatbed 3000", "Maker kv-s100", "KV-S2000"}));
  EXPECT_TRUE(Station.MessageBoxes().empty());
  EXPECT_TRUE(Station.IsEnabled(idBtGo));
  CloseStation();
  const auto opened = Entries(Log(), "CONTROL/IDENTITY/OPENDS");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].Note("name"), "Maker kv-s100");
}

// Large pages take the writer a while: closing right after the last transfer must still leave
// every page on disk, whole.
TEST_F(ScanFailureTest, ClosingRightAfterABatchWritesEveryQueuedPage) {
  constexpr int kSheets = 3, kWidth = 2480, kHeight = 3508;
  Start(SmallPages(kSheets).Set("width", kWidth).Set("height", kHeight).Set("preferred_buffer", 1 << 20));
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitFor(
      [&] {
        for (const auto &end : Entries(Log(), "CONTROL/PENDINGXFERS/ENDXFER"))
          if (end.Note("Count") == "0")
            return true;
        return false;
      },
      120000))
      << "the batch did not end";
  ASSERT_TRUE(Station.Close(120000)) << "the station did not end after WM_CLOSE";

  const auto pages = ScannedPages(OutputFolder);
  ASSERT_EQ(pages.size(), 2u * kSheets);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(pages[i].path);
    const PageComparison c =
        CompareWithPattern(pages[i].path, static_cast<int>(i) + 1, static_cast<int>(i % 2));
    ASSERT_TRUE(c.decoded);
    EXPECT_EQ(c.width, kWidth);
    EXPECT_EQ(c.height, kHeight);
    EXPECT_LT(c.WorstChannel(), kJpegTolerance);
    EXPECT_TRUE(c.markerTopLeft);
  }
}

// A driver with a progress window lets a close, or the end of the Windows session, in while the
// front of the second sheet is in transfer. The batch ends between sheets and in order before
// anything it uses goes: that sheet is finished, its back too, the feeder is stopped so that no
// further sheet is pulled, the scanner is disabled and only then closed, and the station ends by
// itself with every sheet begun on disk, both sides, whole: whatever the driver does with the stop
// (refuses it, cannot say how many pages are left, has several sheets in its paper path) or drops
// as blank.
struct BatchEndRow {
  bool sessionEnds;                                          // a log-off instead of a close
  std::vector<std::pair<const char *, const char *>> driver; // scenario keys
  size_t sheets;                                             // delivered, whole
  const char *stop;                                          // its rc and Count
};

class CloseDuringABatchTest : public ScanStationTest, public ::testing::WithParamInterface<BatchEndRow> {};

TEST_P(CloseDuringABatchTest, DuringAFrontFinishesItsSheetThenEndsInOrder) {
  const BatchEndRow &row = GetParam();
  const bool sessionEnds = row.sessionEnds;
  // Every strip lets the close in; the first of each page takes the scanner a while.
  testsupport::ScannerScenario scenario = SmallPages(5);
  for (const auto &[key, value] : row.driver)
    scenario.Set(key, value);
  Start(scenario.Set("pump_messages", 1).Set("time_per_page_ms", 1500).Set("preferred_buffer", 8192));
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForLog("IMAGE/IMAGEINFO/GET", 3)) << "the front of sheet 2 never began";
  if (sessionEnds) {
    ::PostMessageA(Station.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::PostMessageA(Station.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  } else {
    ::PostMessageA(Station.Window(), WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(Station.WaitForExit(2 * kWaitMs)) << "the station did not end";
  EXPECT_EQ(Station.ExitCode(), 0u);

  const auto log = Log();
  std::vector<std::string> delivered;
  size_t last = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_NE(log[i].cc, TWCC_SEQERROR) << log[i].line;
    if (log[i].names == "IMAGE/IMAGEMEMXFER/GET" && log[i].rc == TWRC_XFERDONE) {
      delivered.push_back(log[i].Note("page"));
      last = i;
    }
  }
  EXPECT_EQ(delivered.size(), 2 * row.sheets) << "a page dropped, or a back lost";
  const auto stops = Entries(log, "CONTROL/PENDINGXFERS/STOPFEEDER");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(std::to_string(stops[0].rc) + " " + stops[0].Note("Count"), row.stop);
  // After the last page: nothing is dropped, and each step back from the state the one before left.
  const std::set<std::string> steps = {
      "IMAGE/IMAGEINFO/GET",        "IMAGE/IMAGEMEMXFER/GET",          "CONTROL/PENDINGXFERS/ENDXFER",
      "CONTROL/PENDINGXFERS/RESET", "CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS"};
  std::vector<std::string> after;
  for (size_t i = last + 1; i < log.size(); ++i)
    if (log[i].direction == "in" && steps.count(log[i].names))
      after.push_back(log[i].names + " rc=" + std::to_string(log[i].rc) + " " + log[i].Note("state"));
  std::vector<std::string> expected = {"CONTROL/PENDINGXFERS/ENDXFER rc=0 5",
                                       "CONTROL/USERINTERFACE/DISABLEDS rc=0 4",
                                       "CONTROL/IDENTITY/CLOSEDS rc=0 3"};
  if (row.stop[0] != '0') // a refused stop leaves the sheets not begun to the reset
    expected.insert(expected.begin(), "CONTROL/PENDINGXFERS/ENDXFER rc=0 6"),
        expected[1] = "CONTROL/PENDINGXFERS/RESET rc=0 5";
  EXPECT_EQ(after, expected);

  // Only finished pages, every front with its back: no ".partial" file or other leftover.
  const auto pages = ScannedPages(OutputFolder);
  for (const auto &page : pages)
    EXPECT_FALSE(page.stamp.empty()) << page.path;
  ExpectDuplexPages(pages, row.sheets);
}

INSTANTIATE_TEST_SUITE_P(
    DriversAndEnds, CloseDuringABatchTest,
    ::testing::Values(BatchEndRow{false, {}, 2, "0 1"}, BatchEndRow{true, {}, 2, "0 1"},
                      // Its blank-page removal turned off, every page keeps its place and its side.
                      BatchEndRow{false,
                                  {{"blank_discard", "auto"},
                                   {"dropped_pages", "2"},
                                   {"fault", "CONTROL/PENDINGXFERS/STOPFEEDER rc=FAILURE cc=BADPROTOCOL"}},
                                  2,
                                  "1 "},
                      BatchEndRow{
                          false, {{"stop_feeder_count", "unknown"}, {"paper_path", "3"}}, 4, "0 65535"}));

} // namespace
