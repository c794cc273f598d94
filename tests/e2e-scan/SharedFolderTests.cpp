// Stations sharing one output folder, and a station killed mid-batch: every sheet keeps its front
// and back on one stamp whatever the other station names, nothing is replaced, and the pages a
// killed station never wrote are named at its next start. (Names already in the folder: the
// writer's own tests.)
#include "tests/e2e-scan/PageCheck.h"
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"
#include "twain/TwainRecords.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
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

// The names in the box of pages lost in a crash, when one is up.
std::vector<std::string> NamesInLostPagesBox(const StationDriver &station) {
  std::vector<std::string> named;
  for (HWND box : station.MessageBoxes()) {
    std::istringstream lines(StationDriver::MessageBoxText(box));
    for (std::string line; std::getline(lines, line);)
      if (line.find("  (scanned ") != std::string::npos)
        named.push_back(line.substr(0, line.find("  (scanned ")));
    StationDriver::PressOk(box);
  }
  std::sort(named.begin(), named.end());
  return named;
}

// Killed at instants across batches, some just as a page gets its name, beside another station's
// page and claim: each next start names every page handed over (its transfer ended) and not on
// disk, and no page that is on disk or was never transferred; a page transferred but killed before
// its transfer ended may go either way. No ".partial" of the killed station is left.
TEST_F(SharedFolderTest, KilledAtAnyInstantTheNextStartNamesExactlyThePagesNotOnDisk) {
  constexpr int kKills = 21, kSheets = 4;
  const std::string otherPage = OutputFolder + "\\Scan20261207080000000F.jpg";
  const std::string otherClaim = OutputFolder + "\\Scan20261207080000001F.jpg.partial";
  std::ofstream(otherPage, std::ios::binary) << "another station's page";
  std::ofstream(otherClaim, std::ios::binary) << "another station's claim";
  unsigned seed = 20261207; // the same instants at every run of the test
  const auto random = [&seed](unsigned below) {
    return (seed = seed * 1103515245u + 12345u) / 65536u % below;
  };
  std::vector<std::string> handedOver;  // the killed run's pages whose transfer ended
  std::vector<std::string> transferred; // ... and those the scanner had sent whole
  size_t lostSeen = 0, killsAsNamed = 0, handedOverSeen = 0;
  const auto sentPages = [this] {
    const auto sent = Entries(Log(), "IMAGE/IMAGEMEMXFER/GET");
    return static_cast<size_t>(
        std::count_if(sent.begin(), sent.end(), [](const auto &entry) { return entry.rc == TWRC_XFERDONE; }));
  };
  for (int run = 0; run <= kKills; ++run) {
    char clock[24];
    std::snprintf(clock, sizeof clock, "2026120710%02d00000", run);
    const std::vector<std::string> dead = FilesIn(JournalFolder(), "pages*.journal");
    Start(SmallPages(kSheets).Set("width", 1200).Set("height", 1600), {{"TOVIK_PAGE_CLOCK", clock}});
    // The killed station's journal goes once its pages are settled and the news is posted; the
    // new station's own is there by then.
    ASSERT_TRUE(WaitFor([&] {
      const std::vector<std::string> journals = FilesIn(JournalFolder(), "pages*.journal");
      return journals.size() == 1 && std::find(dead.begin(), dead.end(), journals[0]) == dead.end();
    }));
    ASSERT_TRUE(Station.Sync());
    SCOPED_TRACE("run " + std::to_string(run));
    const std::vector<std::string> named = NamesInLostPagesBox(Station);
    for (const std::string &page : handedOver) {
      if (!FileExists(page)) {
        EXPECT_NE(std::find(named.begin(), named.end(), page), named.end()) << page << " lost, not named";
      }
    }
    for (const std::string &page : named) {
      EXPECT_FALSE(FileExists(page)) << page << " named, but on disk";
      EXPECT_NE(std::find(transferred.begin(), transferred.end(), page), transferred.end()) << page;
    }
    lostSeen += named.size();
    handedOverSeen += handedOver.size();
    EXPECT_EQ(FilesIn(OutputFolder, "*.partial"),
              std::vector<std::string>{"Scan20261207080000001F.jpg.partial"});
    if (run == kKills)
      break;
    TypeOutputFolder();
    const size_t endedBefore = CountInLog("CONTROL/PENDINGXFERS/ENDXFER");
    const size_t sentBefore = sentPages();
    Station.Click(idBtGo);
    if (run % 3 == 2) { // the instant a page gets its name
      char name[40];
      std::snprintf(name, sizeof name, "\\Scan2026120710%02d00%03u%c.jpg", run, random(kSheets),
                    "FB"[run % 2]);
      const DWORD start = ::GetTickCount();
      while (!FileExists(OutputFolder + name) && ::GetTickCount() - start < kWaitMs)
        ::Sleep(0); // looked at without pause, so that the kill lands right after the rename
      killsAsNamed += FileExists(OutputFolder + name) ? 1 : 0;
    } else { // anywhere from the first page handed over to the end of the batch
      ASSERT_TRUE(WaitForLog("CONTROL/PENDINGXFERS/ENDXFER", endedBefore + 1));
      ::Sleep(random(400));
    }
    ASSERT_TRUE(Station.Kill());
    const auto names = [&](size_t pages) {
      std::vector<std::string> list;
      for (size_t page = 0; page < pages; ++page) {
        char name[40];
        std::snprintf(name, sizeof name, "\\Scan2026120710%02d00%03u%c.jpg", run, unsigned(page / 2),
                      "FB"[page % 2]);
        list.push_back(OutputFolder + name);
      }
      return list;
    };
    handedOver = names(CountInLog("CONTROL/PENDINGXFERS/ENDXFER") - endedBefore);
    transferred = names(sentPages() - sentBefore);
  }
  CloseStation();
  EXPECT_EQ(ReadFileText(otherPage), "another station's page");
  EXPECT_EQ(ReadFileText(otherClaim), "another station's claim");
  std::printf("%d kills, %zu as a page got its name; %zu pages handed over, %zu named lost\n", kKills,
              killsAsNamed, handedOverSeen, lostSeen);
}

} // namespace
