// Stations sharing one output folder, and a station killed mid-batch: every sheet keeps its front
// and back on one stamp whatever the other station names, nothing is replaced, and the pages a
// killed station never wrote are named at its next start. (Names already in the folder: the
// writer's own tests.)
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

using namespace e2e;
using namespace e2escan;
using namespace station;
using testsupport::FreshTempFile;

namespace {

// The stations' page clock stands still: each stamps its sheets from this millisecond on, 1 ms
// apart, so that stations started together name their sheets alike.
const StationDriver::Environment kStandingClock = {{"TOVIK_PAGE_CLOCK", "20261207093015000"}};

std::string PageName(int ms, char side) {
  char name[40];
  std::snprintf(name, sizeof name, "Scan20261207093015%03d%c.jpg", ms, side);
  return name;
}

using SharedFolderTest = ScanStationTest;

TEST_F(SharedFolderTest, TwoStationsWithCollidingStampsWriteEveryPageAndKeepEverySheetWhole) {
  constexpr int kSheets = 4;
  StationDriver second(WindowsPath(TOVIK_SCAN_EXE));
  const std::string secondScenario = FreshTempFile("tovik-e2e-scan-second-station.ini");
  // The second station's pages are wider: each page tells which station scanned it.
  ASSERT_TRUE(SmallPages(kSheets)
                  .Set("width", 136)
                  .Log(FreshTempFile("tovik-e2e-scan-second-station.log"))
                  .WriteTo(secondScenario));
  Start(SmallPages(kSheets), kStandingClock);
  StationDriver::Environment environment = kStandingClock;
  environment.emplace_back("TOVIK_VSCANNER_SCENARIO", secondScenario);
  ASSERT_TRUE(second.Start(environment));
  ASSERT_TRUE(second.WaitUntilShown());
  TypeOutputFolder();
  second.SetText(idEDir, OutputFolder);
  Station.Click(idBtGo);
  second.Click(idBtGo);
  ASSERT_TRUE(WaitForPages(4 * kSheets)) << ScannedPages(OutputFolder).size() << " pages";
  CloseStation();
  ASSERT_TRUE(second.Close());

  const std::vector<ScannedPage> pages = ScannedPages(OutputFolder);
  ASSERT_EQ(pages.size(), 4u * kSheets);
  std::map<int, std::multiset<int>> sheetsByWidth; // each station's sheets, by its page width
  for (size_t i = 0; i + 1 < pages.size(); i += 2) {
    ASSERT_EQ(pages[i].stamp + pages[i].side + pages[i + 1].stamp + pages[i + 1].side,
              pages[i].stamp + 'F' + pages[i].stamp + 'B');
    for (int sheet = 1; sheet <= kSheets; ++sheet) {
      const PageComparison front = CompareWithPattern(pages[i].path, 2 * sheet - 1, 0);
      const PageComparison back = CompareWithPattern(pages[i + 1].path, 2 * sheet, 1);
      if (front.WorstChannel() < kJpegTolerance && back.WorstChannel() < kJpegTolerance &&
          front.width == back.width)
        sheetsByWidth[front.width].insert(sheet);
    }
  }
  const std::multiset<int> everySheet = {1, 2, 3, 4};
  EXPECT_EQ(sheetsByWidth, (std::map<int, std::multiset<int>>{{120, everySheet}, {136, everySheet}}));
}

// Killed (no chance to close) while every page waits in the queue for a drive that is away: the
// next start names exactly the pages never written.
TEST_F(SharedFolderTest, AStationKilledWhilePagesWaitNamesExactlyThoseAtItsNextStart) {
  constexpr int kSheets = 5;
  const std::string away = "Q:\\scans";
  Start(SmallPages(kSheets), kStandingClock);
  TypeOutputFolder(away);
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForLog("CONTROL/PENDINGXFERS/ENDXFER", 2 * kSheets));
  ASSERT_TRUE(WaitFor([&] { return Station.Text(idLbStatus).rfind("10 pages waiting", 0) == 0; }))
      << Station.Text(idLbStatus);
  ASSERT_TRUE(Station.Kill());

  std::vector<std::string> expected;
  for (int sheet = 0; sheet < kSheets; ++sheet)
    for (char side : {'F', 'B'})
      expected.push_back(away + "\\" + PageName(sheet, side));
  Start(SmallPages(1));
  HWND box = Station.WaitForMessageBox();
  ASSERT_NE(box, nullptr) << Station.Text(idLbStatus);
  std::istringstream lines(StationDriver::MessageBoxText(box));
  std::vector<std::string> named;
  for (std::string line; std::getline(lines, line);)
    if (line.find("  (scanned ") != std::string::npos)
      named.push_back(line.substr(0, line.find("  (scanned ")));
  EXPECT_EQ(named, expected);
  EXPECT_EQ(Station.Text(idLbStatus).rfind("10 pages of the last run", 0), 0u) << Station.Text(idLbStatus);
  StationDriver::PressOk(box);
  CloseStation();

  Start(SmallPages(1)); // a normal close leaves nothing to report
  ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_TRUE(Station.MessageBoxes().empty());
  CloseStation();
}

} // namespace
