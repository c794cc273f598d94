// Starting batches on the virtual scanner: "Go..", "Go.." through the driver's own dialog, and
// the automatic start while paper is in the feeder.
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <commctrl.h>

#include <cstdio>

using namespace e2e;
using namespace e2escan;
using namespace station;

namespace {

const char *const kEnableDs = "CONTROL/USERINTERFACE/ENABLEDS";
const char *const kDisableDs = "CONTROL/USERINTERFACE/DISABLEDS";
const char *const kScannerDialog = "KV-S1027C Virtual settings"; // the default device's dialog

using ScanControlTest = ScanStationTest;

TEST_F(ScanControlTest, GoScansEverySheetIntoNamedFrontAndBackFilesAndFillsTheBar) {
  Start(SmallPages(3));
  EXPECT_TRUE(Station.IsEnabled(idBtGo));
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForPages(6)) << ScannedPages(OutputFolder).size() << " pages";
  ASSERT_TRUE(WaitForLog(kDisableDs, 1));

  HWND bar = Station.Control(idPb);
  const LRESULT maximum = ::SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
  EXPECT_EQ(maximum, 159); // rows of the last page - 1
  EXPECT_GE(::SendMessageA(bar, PBM_GETPOS, 0, 0), maximum);
  EXPECT_EQ(Station.Text(idLbStatus), "");
  CloseStation();

  ExpectDuplexPages(ScannedPages(OutputFolder), 3);
  const auto enables = Entries(Log(), kEnableDs);
  ASSERT_EQ(enables.size(), 1u);
  EXPECT_EQ(enables[0].Note("ShowUI"), "0");
  EXPECT_EQ(enables[0].Note("ModalUI"), "0");
}

// Show Config: the driver's dialog comes up, and while it is open the scanner counts as busy.
// "Cancel" scans nothing and leaves the scanner open for the next "Go..", whose "Scan" scans.
TEST_F(ScanControlTest, ShowConfigGoesThroughTheDriversDialog) {
  Start(SmallPages(2).Set("dialog", "interactive"));
  TypeOutputFolder();
  Station.Click(idCbShowConfig);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbShowConfig); }));
  Station.Click(idBtGo);
  HWND dialog = Station.WaitForWindowTitled(kScannerDialog);
  ASSERT_NE(dialog, nullptr) << "the scanner's dialog did not appear";

  // Paper is loaded and Auto is ticked, but the open dialog holds the scanner.
  Station.Click(idCbAuto);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbAuto); }));
  for (int tick = 0; tick < 3; ++tick)
    ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_EQ(CountInLog(kEnableDs), 1u);
  Station.Click(idCbAuto);
  ASSERT_TRUE(WaitFor([&] { return !Station.IsTicked(idCbAuto); }));

  StationDriver::ClickButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitForLog(kDisableDs, 1)) << "the cancelled dialog did not end with the scanner disabled";
  const auto log = Log();
  // The close request: sent through the source manager, or claimed from the station's loop
  // when the station offered the scanner its posted message first.
  auto closeRequest = [&] {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].names == "CONTROL/NULL/CLOSEDSREQ" || log[i].Note("TWMessage") == "CLOSEDSREQ")
        return static_cast<int>(i);
    return -1;
  };
  auto at = [&](const char *names) {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].names == names)
        return static_cast<int>(i);
    return -1;
  };
  EXPECT_LT(closeRequest(), at(kDisableDs));
  EXPECT_GE(closeRequest(), 0);
  EXPECT_EQ(Entries(log, "CONTROL/IDENTITY/CLOSEDS").size(), 0u) << "the scanner must stay open";
  EXPECT_TRUE(ScannedPages(OutputFolder).empty());

  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForLog(kEnableDs, 2));
  dialog = Station.WaitForWindowTitled(kScannerDialog);
  ASSERT_NE(dialog, nullptr) << "the scanner's dialog did not appear the second time";
  StationDriver::ClickButton(dialog, IDOK);
  ASSERT_TRUE(WaitForPages(4));
  CloseStation();

  ExpectDuplexPages(ScannedPages(OutputFolder), 2);
  for (const auto &enable : Entries(Log(), kEnableDs))
    EXPECT_NE(enable.Note("ShowUI"), "0");
}

// With paper a batch starts by itself, without the driver's dialog even when "Show Config" is
// ticked; once the feeder is empty no further batch starts.
TEST_F(ScanControlTest, AutoScansWhilePaperIsLoadedAndThenStops) {
  Start(SmallPages(2));
  TypeOutputFolder();
  Station.Click(idCbShowConfig);
  Station.Click(idCbAuto);
  ASSERT_TRUE(WaitForPages(4));
  ASSERT_TRUE(WaitForLog(kDisableDs, 1));
  // The automatic start has looked at the feeder again since the batch: only then does the
  // absence of a second batch mean anything.
  ASSERT_TRUE(WaitFor([&] {
    const auto log = Log();
    bool disabled = false;
    for (const auto &entry : log) {
      disabled = disabled || entry.names == kDisableDs;
      if (disabled && entry.names == "CONTROL/CAPABILITY/GET" && entry.Note("cap") == "0x1003")
        return true;
    }
    return false;
  })) << "the feeder was not asked after the batch";
  CloseStation();

  ExpectDuplexPages(ScannedPages(OutputFolder), 2);
  const auto log = Log();
  const auto enables = Entries(log, kEnableDs);
  ASSERT_EQ(enables.size(), 1u);
  EXPECT_EQ(enables[0].Note("ShowUI"), "0");
  // The feeder was asked after the batch, and said it was empty.
  const auto asked = Entries(log, "CONTROL/CAPABILITY/GET");
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back().Note("cap"), "0x1003");
  EXPECT_EQ(asked.back().Note("value"), "0");
}

TEST_F(ScanControlTest, AutoNeverStartsWhenTheScannerCannotTellWhetherPaperIsLoaded) {
  Start(SmallPages(2).Set("feeder_loaded", 0));
  TypeOutputFolder();
  Station.Click(idCbAuto);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbAuto); }));
  ASSERT_TRUE(WaitForLog("CONTROL/CAPABILITY/GET", 3)) << "the automatic start did not ask";
  CloseStation();
  EXPECT_EQ(CountInLog(kEnableDs), 0u);
  EXPECT_TRUE(ScannedPages(OutputFolder).empty());
}

// The counts line counts pages written, and its day turns over by the station's clock at midnight
// with the station idle. A scanner that says no sides and whose profile keeps its blank-page
// removal on is said in the status line: its dropped pages would shift every later side.
TEST_F(ScanControlTest, TodayTurnsOverAtMidnightAndADriverDroppingPagesIsSaid) {
  const std::string clockFile = OutputFolder + "\\..\\clock.txt";
  auto setClock = [&](const char *stamp) {
    std::FILE *file = std::fopen(clockFile.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(stamp, file);
    std::fclose(file);
  };
  setClock("20261207235959000");
  Start(SmallPages(2).Set("blank_discard", "profile"), {{"TOVIK_PAGE_CLOCK", "@" + clockFile}});
  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForPages(4));
  ASSERT_TRUE(WaitFor([&] { return Station.Text(idLbCounts).find("Today: 4 pages ") != std::string::npos; }))
      << Station.Text(idLbCounts);
  EXPECT_NE(Station.Text(idLbStatus).find("The scanner drops blank pages"), std::string::npos)
      << Station.Text(idLbStatus);
  setClock("20261208000001000");
  ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_NE(Station.Text(idLbCounts).find("Today: 0 pages "), std::string::npos) << Station.Text(idLbCounts);
  CloseStation();
  std::remove(clockFile.c_str());
}

} // namespace
