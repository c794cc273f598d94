// What the station does when something goes wrong on the road of a sheet, which scanner it
// picks, and that closing it loses no page.
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

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

} // namespace
