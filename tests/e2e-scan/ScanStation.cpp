#include "tests/e2e-scan/ScanStation.h"

#include "tests/e2e-scan/PageCheck.h"

#include "app/ControlIds.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cctype>

using namespace e2e;
using namespace testsupport;

namespace e2escan {

namespace {

const std::string kDataDir = "C:\\ProgramData\\Tovik\\TovikScan";
const std::string kConfigFile = kDataDir + "\\config.ini";
const std::string kJournalDir = JournalFolder();

std::string TestName() {
  const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? info->name() : "unnamed";
  for (char &c : name)
    if (c == '/')
      c = '-'; // parameterised tests: "Name/3" names a folder of its own
  return name;
}

std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  return temp;
}

void EmptyFolder(const std::string &folder) {
  for (const std::string &name : FilesIn(folder))
    ::DeleteFileA((folder + "\\" + name).c_str());
}

bool ParsePageName(const std::string &name, ScannedPage &page) {
  // "Scan" + 17 digits + side + ".jpg"
  if (name.size() != 4 + 17 + 1 + 4 || name.compare(0, 4, "Scan") != 0 || name.compare(22, 4, ".jpg") != 0)
    return false;
  page.stamp = name.substr(4, 17);
  page.side = name[21];
  return std::all_of(page.stamp.begin(), page.stamp.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }) &&
         (page.side == 'F' || page.side == 'B');
}

} // namespace

std::string JournalFolder() {
  char local[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
  return std::string(local) + "\\Tovik\\TovikScan";
}

std::vector<ScannedPage> ScannedPages(const std::string &folder) {
  std::vector<ScannedPage> pages;
  for (const std::string &name : FilesIn(folder)) {
    ScannedPage page;
    if (!ParsePageName(name, page))
      page = ScannedPage{};
    page.path = folder + "\\" + name;
    pages.push_back(page);
  }
  std::sort(pages.begin(), pages.end(), [](const ScannedPage &a, const ScannedPage &b) {
    if (a.stamp != b.stamp)
      return a.stamp < b.stamp;
    return a.side == 'F' && b.side != 'F';
  });
  return pages;
}

std::vector<LoggedTriplet> Entries(const std::vector<LoggedTriplet> &log, const std::string &names) {
  std::vector<LoggedTriplet> found;
  for (const LoggedTriplet &t : log)
    if (t.direction == "in" && t.names == names)
      found.push_back(t);
  return found;
}

void ExpectDuplexPages(const std::vector<ScannedPage> &pages, size_t sheets) {
  ASSERT_EQ(pages.size(), 2 * sheets);
  ExpectFirstDuplexPages(pages);
}

void ExpectFirstDuplexPages(const std::vector<ScannedPage> &pages) {
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(pages[i].path);
    const int side = static_cast<int>(i % 2);
    EXPECT_EQ(pages[i].side, side == 0 ? 'F' : 'B');
    if (side == 1) {
      EXPECT_EQ(pages[i].stamp, pages[i - 1].stamp);
    } else if (i > 0) {
      EXPECT_NE(pages[i].stamp, pages[i - 1].stamp);
    }
    const PageComparison page = CompareWithPattern(pages[i].path, static_cast<int>(i) + 1, side);
    ASSERT_TRUE(page.decoded);
    EXPECT_EQ(page.width, 120);
    EXPECT_EQ(page.height, 160);
    EXPECT_LT(page.WorstChannel(), kJpegTolerance)
        << page.meanError[0] << " " << page.meanError[1] << " " << page.meanError[2];
    EXPECT_TRUE(page.markerTopLeft);
  }
}

ScanStationTest::ScanStationTest() : Station(WindowsPath(TOVIK_SCAN_EXE)) {
  const std::string base = TempFolder() + "tovik-e2e-scan";
  ::CreateDirectoryA(base.c_str(), nullptr);
  OutputFolder = base + "\\" + TestName();
  ::CreateDirectoryA(OutputFolder.c_str(), nullptr);
  EmptyFolder(OutputFolder);
  LogPath = FreshTempFile("tovik-e2e-scan-" + TestName() + ".log");
  // A station a failed test had to end would greet this one with the pages it never wrote.
  for (const std::string &journal : FilesIn(kJournalDir, "pages*.journal"))
    ::DeleteFileA((kJournalDir + "\\" + journal).c_str());
  ScenarioPath = FreshTempFile("tovik-e2e-scan-" + TestName() + ".ini");
}

ScanStationTest::~ScanStationTest() {
  // The typed folder would otherwise greet the next station started in this prefix.
  if (Station.WaitForExit(0)) {
    ::WritePrivateProfileStringA("Main", "eDir", "C:\\ProgramData\\Tovik\\TovikScan", kConfigFile.c_str());
    ::WritePrivateProfileStringA("Main", "cbBlankAside", "0", kConfigFile.c_str());
  }
}

ScannerScenario ScanStationTest::SmallPages(int sheets) const {
  ScannerScenario scenario;
  scenario.Set("sheets", sheets).Set("sides", 2).Set("width", 120).Set("height", 160).Log(LogPath);
  return scenario;
}

void ScanStationTest::Start(const ScannerScenario &scenario, const StationDriver::Environment &more) {
  ScannerScenario logged = scenario;
  logged.Log(LogPath);
  ASSERT_TRUE(logged.WriteTo(ScenarioPath));
  StationDriver::Environment environment = more;
  environment.emplace_back("TOVIK_VSCANNER_SCENARIO", ScenarioPath);
  ASSERT_TRUE(Station.Start(environment));
  ASSERT_TRUE(Station.WaitUntilShown()) << "the station's window did not appear";
}

void ScanStationTest::TypeOutputFolder(const std::string &folder) {
  Station.SetText(station::idEDir, folder);
  ASSERT_EQ(Station.Text(station::idEDir), folder);
}

bool ScanStationTest::WaitForPages(size_t count, DWORD timeoutMs) const {
  return WaitFor([&] { return ScannedPages(OutputFolder).size() >= count; }, timeoutMs);
}

bool ScanStationTest::WaitForLog(const std::string &names, size_t count, DWORD timeoutMs) const {
  return WaitFor([&] { return CountInLog(names) >= count; }, timeoutMs);
}

void ScanStationTest::CloseStation() {
  ASSERT_TRUE(Station.Close()) << "the station did not end after WM_CLOSE";
  EXPECT_EQ(Station.ExitCode(), 0u);
}

} // namespace e2escan
