// What the station does when something goes wrong on the road of a sheet, which scanner it
// picks, and that closing it loses no page.
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"
#include "twain/TwainRecords.h"

#include <cstdio>
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

// The person ends a batch while the front of the second sheet is in transfer: a close, the end
// of the Windows session, Esc or the visible Stop, with a driver that lets them in through its
// progress window or with one that never dispatches a message (the station looks between pages),
// or one that waits for paper. The batch ends between sheets and in order before anything it uses
// goes: that sheet is finished, its back too, the feeder is stopped so that no further sheet is
// pulled, the scanner is disabled; a close then ends the station by itself with every sheet begun
// on disk, both sides, whole, whatever the driver does with the stop (refuses it, cannot say how
// many pages are left, has several sheets in its paper path) or drops as blank. After Esc or Stop
// the station stays, Auto starts nothing with paper still loaded, and Go.. or Auto ticked again
// scans the rest.
enum class EndAsked { Close, LogOff, Esc, Stop };

struct BatchEndRow {
  EndAsked how;
  bool pumps;                                                // the driver dispatches messages
  std::vector<std::pair<const char *, const char *>> driver; // scenario keys
  size_t askedAtPage;                                        // asked once this page began
  size_t sheets;                                             // delivered, whole
  const char *stop;                                          // its rc and Count
};

class EndDuringABatchTest : public ScanStationTest, public ::testing::WithParamInterface<BatchEndRow> {};

TEST_P(EndDuringABatchTest, DuringAFrontFinishesItsSheetThenEndsInOrder) {
  const BatchEndRow &row = GetParam();
  const bool staysUp = row.how == EndAsked::Esc || row.how == EndAsked::Stop;
  testsupport::ScannerScenario scenario = SmallPages(staysUp ? 5 : 40);
  for (const auto &[key, value] : row.driver)
    scenario.Set(key, value);
  // The first data of each page takes the scanner a while.
  Start(scenario.Set("pump_messages", row.pumps ? 1 : 0)
            .Set("time_per_page_ms", 1500)
            .Set("preferred_buffer", 8192));
  TypeOutputFolder();
  Station.Click(staysUp ? idCbAuto : idBtGo);
  ASSERT_TRUE(WaitForLog("IMAGE/IMAGEINFO/GET", row.askedAtPage))
      << "page " << row.askedAtPage << " never began";
  const DWORD askedAt = ::GetTickCount();
  switch (row.how) {
  case EndAsked::LogOff:
    ::PostMessageA(Station.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::PostMessageA(Station.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    break;
  case EndAsked::Close:
    ::PostMessageA(Station.Window(), WM_CLOSE, 0, 0);
    break;
  case EndAsked::Esc:
    Station.PressKey(idEDir, VK_ESCAPE);
    break;
  case EndAsked::Stop:
    Station.ClickWithMouse(idBtGo);
    EXPECT_EQ(Station.Text(idBtGo), "Stop"); // asked after the click: the window answers between pages
    break;
  }
  if (staysUp) {
    ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 1)) << "the batch did not end";
    ASSERT_TRUE(Station.Sync()) << "the window does not answer";
    EXPECT_EQ(Station.Text(idBtGo), "Go..");
    EXPECT_EQ(Station.Text(idLbStatus).rfind("Stopped:", 0), 0u) << Station.Text(idLbStatus);
  } else {
    ASSERT_TRUE(Station.WaitForExit(2 * kWaitMs)) << "the station did not end";
    EXPECT_EQ(Station.ExitCode(), 0u);
    std::printf("ended %lu ms after it was asked\n", static_cast<unsigned long>(::GetTickCount() - askedAt));
  }

  const auto log = Log();
  std::vector<std::string> delivered;
  size_t last = 0;
  for (size_t i = 0;
       i < log.size() && !(staysUp && last && log[i].names == "CONTROL/USERINTERFACE/DISABLEDS"); ++i) {
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
  std::vector<std::string> expected = {"CONTROL/PENDINGXFERS/ENDXFER rc=0 5",
                                       "CONTROL/USERINTERFACE/DISABLEDS rc=0 4"};
  if (!staysUp)
    expected.push_back("CONTROL/IDENTITY/CLOSEDS rc=0 3");
  if (row.stop[0] != '0') // a refused stop leaves the sheets not begun to the reset
    expected.insert(expected.begin(), "CONTROL/PENDINGXFERS/ENDXFER rc=0 6"),
        expected[1] = "CONTROL/PENDINGXFERS/RESET rc=0 5";
  std::vector<std::string> after;
  for (size_t i = last + 1; i < log.size() && after.size() < expected.size(); ++i)
    if (log[i].direction == "in" && steps.count(log[i].names))
      after.push_back(log[i].names + " rc=" + std::to_string(log[i].rc) + " " + log[i].Note("state"));
  EXPECT_EQ(after, expected);

  if (staysUp) {
    // Paper is still loaded, but the person stopped: Auto waits for them.
    for (int tick = 0; tick < 3; ++tick)
      ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
    EXPECT_EQ(CountInLog("CONTROL/USERINTERFACE/ENABLEDS"), 1u) << "Auto started a batch the person stopped";
    if (row.how == EndAsked::Stop) {
      Station.Click(idCbAuto);
      ASSERT_TRUE(WaitFor([&] { return !Station.IsTicked(idCbAuto); }));
      Station.Click(idCbAuto);
    } else {
      Station.Click(idBtGo);
    }
    ASSERT_TRUE(WaitForPages(10)) << "the rest was not scanned when asked";
    CloseStation();
  }
  // Only finished pages, every front with its back: no ".partial" file or other leftover.
  const auto pages = ScannedPages(OutputFolder);
  for (const auto &page : pages)
    EXPECT_FALSE(page.stamp.empty()) << page.path;
  ExpectDuplexPages(pages, staysUp ? 5 : row.sheets);
}

INSTANTIATE_TEST_SUITE_P(
    DriversAndEnds, EndDuringABatchTest,
    ::testing::Values(
        BatchEndRow{EndAsked::Close, true, {}, 3, 2, "0 1"},
        BatchEndRow{EndAsked::LogOff, true, {}, 3, 2, "0 1"},
        // Its blank-page removal turned off, every page keeps its place and its side.
        BatchEndRow{EndAsked::Close,
                    true,
                    {{"blank_discard", "auto"},
                     {"dropped_pages", "2"},
                     {"fault", "CONTROL/PENDINGXFERS/STOPFEEDER rc=FAILURE cc=BADPROTOCOL"}},
                    3,
                    2,
                    "1 "},
        BatchEndRow{
            EndAsked::Close, true, {{"stop_feeder_count", "unknown"}, {"paper_path", "3"}}, 3, 4, "0 65535"},
        // Drivers that never dispatch a message: the station looks between pages.
        BatchEndRow{EndAsked::Close, false, {}, 3, 2, "0 1"},
        BatchEndRow{EndAsked::LogOff, false, {}, 3, 2, "0 1"},
        BatchEndRow{EndAsked::Esc, false, {}, 3, 2, "0 1"},
        BatchEndRow{EndAsked::Stop, false, {}, 3, 2, "0 1"},
        // Asked while the feeder waits for paper, which then comes: the sheet it
        // pulled is scanned, the rest stays.
        BatchEndRow{EndAsked::Close,
                    false,
                    {{"sheets", "3"}, {"refills", "1"}, {"paper_wait_ms", "3000"}},
                    6,
                    4,
                    "0 2"}));

} // namespace
