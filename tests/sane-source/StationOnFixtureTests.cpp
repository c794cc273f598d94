// TovikScan.exe through Wine's source manager and the bridge on the fixture SANE backend's
// devices (tests/fixtures/sane-backend), each presenting a real document-scanner backend's options: duplex
// and simplex batches with every page's sheet and side checked in its pixels, the automatic start
// on the paper sensor, jams and double feeds, and a sane_start that blocks.
#include "tests/sane-source/SaneCases.h"
#include "tests/sane-source/TwainClient.h"

#include "app/ControlIds.h"
#include "tests/fixtures/station-driver/StationDriver.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

using namespace e2e;
using namespace station;

namespace {

// The fixture's configuration folder, SANE_CONFIG_DIR of the whole run (scripts/sane-test.sh):
// SANE reads it, and the library path it finds the fixture by, when Wine starts the process.
std::string FixtureDir() {
  const char *dir = std::getenv("SANE_CONFIG_DIR");
  return dir ? dir : "";
}
std::string FixtureFile(const std::string &name) { return WindowsPath(FixtureDir() + "/" + name); }

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh feeder of `sheets` sheets on `device` and nothing else listed; the log starts empty.
void UseScenario(const std::string &device, int sheets, const std::string &more = "") {
  static int loads = 0;
  // The bridge's kept listing would still name the devices of the scenario before.
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  ::DeleteFileA((std::string(temp) + "tovik-sane-devices.txt").c_str());
  WriteText(FixtureFile("tovik-fixture.log"), "");
  WriteText(FixtureFile("tovik-fixture.conf"), "devices " + device + "\nsheets " + std::to_string(sheets) +
                                                   "\nload " + std::to_string(++loads) + "\n" + more);
}

std::string Log() { return ReadFileText(FixtureFile("tovik-fixture.log")); }
size_t Count(const std::string &text, const std::string &line) {
  size_t n = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    ++n;
  return n;
}

struct FixtureDevice {
  const char *device;    // the fixture's device, after the backend it models
  const char *section;   // the bridge's configuration names it by vendor and model
  const char *duplexOn;  // options for a duplex batch
  const char *duplexOff; // and for a simplex one
  const char *resolution;
};
const FixtureDevice kDevices[] = {
    {"kvs1025", "Fixture KV-S1025C", "option duplex = yes", "option duplex = no", "50"},
    {"kvs20xx", "Fixture KV-S2026C", "option duplex = yes", "option duplex = no", "50"},
    {"fi7160", "Fixture fi-7160", "option source = ADF Duplex", "option source = ADF Front", "50"},
    {"ds1630", "Fixture DS-1630", "option source = Automatic Document Feeder\noption adf-mode = Duplex",
     "option source = Automatic Document Feeder\noption adf-mode = Simplex", "75"},
};

// The station on a fixture device, its bridge configured with `options`.
StationDriver::Environment Environment(const FixtureDevice &d, const std::string &options) {
  const std::string ini = FixtureFile("sane-source.ini");
  WriteText(ini, std::string("[") + d.section + "]\nname = KV-S fixture " + d.device +
                     "\noption mode = Gray\noption resolution = " + d.resolution + "\n" + options + "\n");
  return {{"TOVIK_SANE_SOURCE_CONFIG", ini}};
}

// What a station that did not come up shows instead.
std::string Boxes(const StationDriver &station) {
  std::string text;
  for (HWND box : station.MessageBoxes())
    text += "[" + StationDriver::MessageBoxText(box) + "] ";
  return text + "fixture: " + Log();
}

// The mean grey level of a JPEG page.
double MeanLevel(const std::string &path) {
  FIBITMAP *page = FreeImage_Load(FIF_JPEG, path.c_str(), 0);
  if (!page)
    return -1;
  FIBITMAP *grey = FreeImage_ConvertToGreyscale(page);
  FreeImage_Unload(page);
  if (!grey)
    return -1;
  double sum = 0;
  const unsigned width = FreeImage_GetWidth(grey), height = FreeImage_GetHeight(grey);
  for (unsigned y = 0; y < height; ++y) {
    const BYTE *row = FreeImage_GetScanLine(grey, int(y));
    for (unsigned x = 0; x < width; ++x)
      sum += row[x];
  }
  FreeImage_Unload(grey);
  return width && height ? sum / (double(width) * height) : -1;
}

// The fixture's grey level for a sheet's side.
double SideLevel(int sheet, bool back) { return 16 + 28 * (sheet - 1) + (back ? 14 : 0); }

// The pages in `folder`, in the order written, carry these sheets and sides.
void ExpectPages(const std::string &folder, const std::vector<std::pair<int, char>> &sides) {
  // By stamp, a sheet's front before its back (both sides may share a millisecond).
  std::vector<std::string> pages = FilesIn(folder, "Scan*.jpg");
  auto key = [](const std::string &name) {
    return name.substr(0, name.size() - 5) + (name[name.size() - 5] == 'F' ? "0" : "1");
  };
  std::sort(pages.begin(), pages.end(),
            [&](const std::string &a, const std::string &b) { return key(a) < key(b); });
  ASSERT_EQ(pages.size(), sides.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(pages[i]);
    const std::string &name = pages[i];
    EXPECT_EQ(name[name.size() - 5], sides[i].second); // ...F.jpg or ...B.jpg
    EXPECT_NEAR(MeanLevel(folder + "\\" + name), SideLevel(sides[i].first, sides[i].second == 'B'), 3.0);
  }
}

// One batch with Go.. into `folder` until `pages` pages are written.
void Batch(StationDriver &station, const std::string &folder, size_t pages) {
  station.SetText(idEDir, folder);
  station.Click(idBtGo);
  ASSERT_TRUE(WaitFor([&] { return FilesIn(folder, "Scan*.jpg").size() >= pages; }))
      << FilesIn(folder, "Scan*.jpg").size() << " pages; status: " << station.Text(idLbStatus)
      << "; fixture: " << Log();
}

void Restore() {
  ::WritePrivateProfileStringA("Main", "eDir", "C:\\ProgramData\\Tovik\\TovikScan",
                               "C:\\ProgramData\\Tovik\\TovikScan\\config.ini");
}

TEST(StationOnFixture, DuplexGivesEverySheetsFrontThenBackAndSimplexOnlyFronts) {
  for (const FixtureDevice &d : kDevices) {
    for (const bool duplex : {true, false}) {
      SCOPED_TRACE(std::string(d.device) + (duplex ? " duplex" : " simplex"));
      UseScenario(d.device, 4);
      const std::string folder = sanetest::EmptyTempFolder(std::string("tovik-fixture-") + d.device);
      StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
      ASSERT_TRUE(station.Start(Environment(d, duplex ? d.duplexOn : d.duplexOff)));
      ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
      ASSERT_TRUE(station.IsEnabled(idBtGo)) << "no KV-S source; fixture: " << Log();
      Batch(station, folder, duplex ? 8 : 4);
      ASSERT_TRUE(WaitFor([&] { return Count(Log(), "empty") > 0; })) << Log();
      EXPECT_EQ(station.Text(idLbStatus), "");
      ASSERT_TRUE(station.Close());
      Restore();
      std::vector<std::pair<int, char>> sides;
      for (int sheet = 1; sheet <= 4; ++sheet) {
        sides.push_back({sheet, 'F'});
        if (duplex)
          sides.push_back({sheet, 'B'});
      }
      ExpectPages(folder, sides);
    }
  }
}

TEST(StationOnFixture, AutoStartsWhenTheSensorSaysPaperAndNotBefore) {
  const FixtureDevice &sensing = kDevices[2];
  UseScenario(sensing.device, 0);
  const std::string folder = sanetest::EmptyTempFolder("tovik-fixture-auto");
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  // Across and down at resolutions of their own.
  ASSERT_TRUE(
      station.Start(Environment(sensing, std::string(sensing.duplexOff) + "\noption y-resolution = 100")));
  ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
  station.SetText(idEDir, folder);
  station.Click(idCbAuto);
  ASSERT_TRUE(WaitFor([&] { return station.IsTicked(idCbAuto); }));
  // The automatic start asks the sensor again and again, and starts nothing on an empty feeder.
  ASSERT_TRUE(WaitFor([] { return Count(Log(), "no paper sensed") >= 6; })) << Log();
  EXPECT_EQ(Count(Log(), "sheet"), 0u);
  EXPECT_EQ(Count(Log(), "empty"), 0u);
  // Paper is loaded: the sensor says so and the batch starts by itself.
  UseScenario(sensing.device, 2);
  ASSERT_TRUE(WaitFor([&] { return FilesIn(folder, "Scan*.jpg").size() >= 2; })) << Log();
  station.Click(idCbAuto);
  ASSERT_TRUE(station.Close());
  Restore();
  ExpectPages(folder, {{1, 'F'}, {2, 'F'}});
  const std::string first = folder + "\\" + FilesIn(folder, "Scan*.jpg").at(0);
  FIBITMAP *page = FreeImage_Load(FIF_JPEG, first.c_str(), 0);
  ASSERT_TRUE(page);
  EXPECT_EQ(FreeImage_GetWidth(page), 413u);   // 210 mm at 50 dpi
  EXPECT_EQ(FreeImage_GetHeight(page), 1169u); // 297 mm at 100 dpi
  EXPECT_NEAR(FreeImage_GetDotsPerMeterX(page), 1969, 2);
  EXPECT_NEAR(FreeImage_GetDotsPerMeterY(page), 3937, 2);
  FreeImage_Unload(page);
}

TEST(StationOnFixture, JamsAndDoubleFeedsShowTheirStatusAndTheNextGoTakesTheSheetsLeft) {
  struct Row {
    const FixtureDevice &device;
    const char *fault;
    const char *status;
  };
  // fi-7160 has a double-feed sensor; the KV-S backends report a double feed as a jam.
  for (const Row &row : {Row{kDevices[2], "jam-at 2", "Twain Status:1,20"},
                         Row{kDevices[2], "double-feed-at 2", "Twain Status:1,21"},
                         Row{kDevices[1], "double-feed-at 2", "Twain Status:1,20"}}) {
    SCOPED_TRACE(std::string(row.device.device) + " " + row.fault);
    UseScenario(row.device.device, 4, std::string(row.fault) + "\n");
    const std::string folder = sanetest::EmptyTempFolder("tovik-fixture-fault");
    StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
    ASSERT_TRUE(station.Start(Environment(row.device, row.device.duplexOff)));
    ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
    Batch(station, folder, 1);
    // The code first, then what the person does about the paper fault.
    ASSERT_TRUE(WaitFor([&] {
      return station.Text(idLbStatus).rfind(std::string(row.status) + " ", 0) == 0;
    })) << "status: "
        << station.Text(idLbStatus) << "; fixture: " << Log();
    // The sheets not begun are still in the feeder: the next Go.. takes them.
    ASSERT_TRUE(WaitFor([&] { return station.IsEnabled(idBtGo); }));
    Batch(station, folder, 3);
    ASSERT_TRUE(WaitFor([&] { return Count(Log(), "empty") > 0; })) << Log();
    ASSERT_TRUE(station.Close());
    Restore();
    ExpectPages(folder, {{1, 'F'}, {3, 'F'}, {4, 'F'}});
  }
}

TEST(StationOnFixture, ADeviceBackUnderANewNameIsFoundByItsVendorAndModel) {
  const FixtureDevice &kvs = kDevices[1];
  UseScenario(kvs.device, 2);
  {
    StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
    ASSERT_TRUE(station.Start(Environment(kvs, kvs.duplexOff)));
    ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
    ASSERT_TRUE(station.Close());
  }
  // Plugged in again: every SANE name changes, while the bridge still keeps the old listing.
  WriteText(FixtureFile("tovik-fixture.conf"),
            std::string("devices ") + kvs.device + "\nsheets 2\nload again\nplugged -2\n");
  const std::string folder = sanetest::EmptyTempFolder("tovik-fixture-renamed");
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  ASSERT_TRUE(station.Start(Environment(kvs, kvs.duplexOff)));
  ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
  Batch(station, folder, 2);
  EXPECT_EQ(station.Text(idLbStatus), "");
  ASSERT_TRUE(station.Close());
  Restore();
  ExpectPages(folder, {{1, 'F'}, {2, 'F'}});
}

TEST(StationOnFixture, ABlockingStartLeavesTheWindowAnsweringAndCloseEndsIt) {
  const FixtureDevice &kvs = kDevices[1];
  UseScenario(kvs.device, 2, "start-delay 10\n");
  const std::string folder = sanetest::EmptyTempFolder("tovik-fixture-blocked");
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  ASSERT_TRUE(station.Start(Environment(kvs, kvs.duplexOff)));
  ASSERT_TRUE(station.WaitUntilShown()) << Boxes(station);
  station.SetText(idEDir, folder);
  station.Click(idBtGo);
  ASSERT_TRUE(WaitFor([] { return Count(Log(), "waiting") > 0; })) << Log();
  // The window answers (and paints) while sane_start still waits.
  ::SendMessageA(station.Window(), WM_NULL, 0, 0);
  ::RedrawWindow(station.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const std::string log = Log();
  EXPECT_EQ(log.substr(log.find("waiting")), "waiting\n"); // nothing after it yet
  ASSERT_TRUE(station.Close());
  Restore();
}

// An application of its own on the bridge: while MSG_ENDXFER waits for the next sheet's
// sane_start, the application's messages are dispatched; the sheet's image is read after it
// returns, and MSG_RESET then ends the batch.
std::string gLogDuringEndXfer;
void CALLBACK LookAtTheFixture(HWND, UINT, UINT_PTR, DWORD) {
  const std::string log = Log();
  if (gLogDuringEndXfer.empty() && log.find("waiting") != std::string::npos)
    gLogDuringEndXfer = log;
}

TEST(BridgeOnFixture, EndXferDispatchesMessagesWhileTheNextStartWaits) {
  const FixtureDevice &kvs = kDevices[1];
  UseScenario(kvs.device, 2, "start-delay 3\ndelay-at 2\n");
  for (const auto &variable : Environment(kvs, kvs.duplexOff))
    ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.c_str());
  sanetest::TwainClient client;
  ASSERT_TRUE(client.Ready());
  ASSERT_EQ(client.OpenSource(std::string("KV-S fixture ") + kvs.device), TWRC_SUCCESS) << Log();
  TW_USERINTERFACE ui{TWAIN_FALSE, TWAIN_FALSE, nullptr};
  ASSERT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  bool ready = false;
  ASSERT_TRUE(WaitFor([&] {
    MSG message;
    while (!ready && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TW_EVENT event{&message, MSG_NULL};
      if (client.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT)
        ready = event.TWMessage == MSG_XFERREADY;
      else
        ::DispatchMessageA(&message);
    }
    return ready;
  }));
  TW_UINT32 dib = 0;
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  ::GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(dib)));
  // A timer of the application's: it runs inside MSG_ENDXFER, while the start still waits.
  gLogDuringEndXfer.clear();
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, LookAtTheFixture);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ::KillTimer(nullptr, timer);
  EXPECT_NE(pending.Count, 0);
  ASSERT_NE(gLogDuringEndXfer.find("waiting"), std::string::npos) << "no message ran during the wait";
  EXPECT_EQ(gLogDuringEndXfer.substr(gLogDuringEndXfer.find("waiting")), "waiting\n");
  EXPECT_EQ(Count(Log(), "sheet 2 front"), 1u) << Log();
  pending = TW_PENDINGXFERS{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
  ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", nullptr);
}

// A process that ends with the source still open (the application never closes it): the device
// is closed before SANE exits, whatever order the process tears its parts down in.
TEST(BridgeOnFixture, AnOpenDeviceIsClosedBeforeSaneExits) {
  const FixtureDevice &kvs = kDevices[0];
  if (std::getenv("TOVIK_FIXTURE_EXIT_OPEN")) { // the child: open, then end the process
    sanetest::TwainClient client;
    ASSERT_EQ(client.OpenSource(std::string("KV-S fixture ") + kvs.device), TWRC_SUCCESS) << Log();
    ::ExitProcess(0);
  }
  UseScenario(kvs.device, 1);
  for (const auto &variable : Environment(kvs, kvs.duplexOff))
    ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.c_str());
  ::SetEnvironmentVariableA("TOVIK_FIXTURE_EXIT_OPEN", "1");
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command =
      std::string("\"") + self + "\" --gtest_filter=BridgeOnFixture.AnOpenDeviceIsClosedBeforeSaneExits";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started =
      ::CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
  ::SetEnvironmentVariableA("TOVIK_FIXTURE_EXIT_OPEN", nullptr);
  ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", nullptr);
  ASSERT_TRUE(started);
  ::WaitForSingleObject(child.hProcess, kWaitMs);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  const std::string log = Log();
  // (The source manager also loads the source once to list it: that SANE exits with nothing open.)
  ASSERT_NE(log.rfind("closed"), std::string::npos) << log;
  ASSERT_NE(log.rfind("exit"), std::string::npos) << log;
  EXPECT_LT(log.rfind("closed"), log.rfind("exit")) << log;
}

} // namespace
