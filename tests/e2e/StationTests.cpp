// TovikScan.exe started and used through its window: layout, data folder, settings file, and
// the start without a scanner.
#include "tests/fixtures/station-driver/StationDriver.h"

#include "app/ControlIds.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>

using namespace e2e;
using namespace station;

namespace {

const std::string kDataDir = "C:\\ProgramData\\Tovik\\TovikScan";
const std::string kConfigFile = kDataDir + "\\config.ini";

// The build hands over a Unix path; Wine maps the root of the Unix tree to drive Z:.
std::string StationExe() { return WindowsPath(TOVIK_SCAN_EXE); }

// A virtual scanner whose devices are not KV-S models: the station finds no compatible scanner.
StationDriver::Environment NoCompatibleScanner() {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  std::string scenario = std::string(temp) + "tovik-e2e-no-kvs.ini";
  std::ofstream(scenario) << "devices=Office Flatbed 3000|Document Camera\n";
  return {{"TOVIK_VSCANNER_SCENARIO", scenario}};
}

std::string ConfigValue(const std::string &key) {
  char value[1024] = {};
  ::GetPrivateProfileStringA("Main", key.c_str(), "<missing>", value, sizeof value, kConfigFile.c_str());
  return value;
}

class StationTest : public ::testing::Test {
protected:
  StationDriver Station{StationExe()};

  // Starts the station, answers the one "no scanner" box and waits until the window is up.
  // The person may read the box at start-up as long as they like: holdBoxMs before OK.
  void StartWithoutScanner(DWORD holdBoxMs = 0) {
    ASSERT_TRUE(Station.Start(NoCompatibleScanner()));
    HWND box = Station.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "no message box at start";
    EXPECT_EQ(StationDriver::MessageBoxText(box), "No compatible scanners found");
    EXPECT_EQ(StationDriver::WindowText(box), "Tovikscan");
    ::Sleep(holdBoxMs);
    ASSERT_FALSE(Station.WaitForExit(0)) << "the station died while its box was up";
    StationDriver::PressOk(box);
    ASSERT_TRUE(Station.WaitUntilShown()) << "the main window did not appear";
  }

  void CloseStation() {
    ASSERT_TRUE(Station.Close()) << "the station did not end after WM_CLOSE";
    EXPECT_EQ(Station.ExitCode(), 0u);
  }
};

// Pages go where the user keeps documents, never into the machine-wide data folder.
TEST_F(StationTest, FirstStartCreatesTheDataFolderAndSavesTheUsersOwnOutputFolder) {
  char documents[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents);
  const std::string ownFolder = std::string(documents) + "\\TovikScan";
  ::DeleteFileA(kConfigFile.c_str());
  ::RemoveDirectoryA(kDataDir.c_str());
  ASSERT_FALSE(FolderExists(kDataDir));

  StartWithoutScanner();
  EXPECT_TRUE(FolderExists(kDataDir));
  EXPECT_EQ(Station.Text(idEDir), ownFolder);
  EXPECT_FALSE(FileExists(kConfigFile)); // written on close, not before
  CloseStation();

  ASSERT_TRUE(FileExists(kConfigFile));
  EXPECT_EQ(ConfigValue("eDir"), ownFolder);
  const std::string text = ReadFileText(kConfigFile);
  EXPECT_NE(text.find("[Main]"), std::string::npos) << text;
  EXPECT_NE(text.find("eDir=" + ownFolder), std::string::npos) << text;
  ::WritePrivateProfileStringA("Main", "eDir", kDataDir.c_str(), kConfigFile.c_str());
}

TEST_F(StationTest, TypedFolderThatDoesNotExistIsShownAgainAtTheNextStart) {
  const std::string typed = "C:\\Tovik e2e\\not there yet";
  StartWithoutScanner();
  Station.SetText(idEDir, typed);
  CloseStation();
  EXPECT_EQ(ConfigValue("eDir"), typed);

  StationDriver again(StationExe());
  ASSERT_TRUE(again.Start(NoCompatibleScanner()));
  HWND box = again.WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  StationDriver::PressOk(box);
  ASSERT_TRUE(again.WaitUntilShown());
  EXPECT_EQ(again.Text(idEDir), typed);
  EXPECT_FALSE(FolderExists(typed)); // the station never creates the output folder
  ASSERT_TRUE(again.Close());

  ::WritePrivateProfileStringA("Main", "eDir", kDataDir.c_str(), kConfigFile.c_str());
}

TEST_F(StationTest, WithoutScannerTellsOnceKeepsGoDisabledAndStillWorks) {
  StartWithoutScanner(3000); // several ticks' worth: nothing may run before start-up is over
  EXPECT_TRUE(Station.MessageBoxes().empty()) << "a second box after the first was answered";
  EXPECT_FALSE(Station.IsEnabled(idBtGo));
  EXPECT_EQ(Station.Text(idLbStatus), "");

  // Nothing else depends on a scanner: the ticks can be set, the timer runs, the folder is saved.
  Station.Click(idCbAuto);
  Station.Click(idCbShowConfig);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbAuto) && Station.IsTicked(idCbShowConfig); }));
  for (int tick = 0; tick < 3; ++tick) // the automatic start with "Auto" ticked and no scanner
    ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_TRUE(Station.MessageBoxes().empty());
  EXPECT_EQ(Station.Text(idLbStatus), "");
  Station.SetText(idEDir, "C:\\Scans without scanner");
  CloseStation();
  EXPECT_EQ(ConfigValue("eDir"), "C:\\Scans without scanner");
  ::WritePrivateProfileStringA("Main", "eDir", kDataDir.c_str(), kConfigFile.c_str());
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

RECT ClientRectOf(HWND control, HWND parent) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

struct Expected {
  int id;
  const char *cls;
  const char *text;
  RECT rect; // left, top, right, bottom in client coordinates, at 96 dpi
  bool tabStop;
};
// The folder field 16,80,433,21 is shared by the edit box and its browse button.
const Expected kDesigned[] = {
    {idBtGo, "Button", "Go..", {16, 16, 91, 41}, true},
    {idCbShowConfig, "Button", "Show Config", {120, 20, 217, 37}, true},
    {idPb, "msctls_progress32", "", {16, 56, 449, 73}, false},
    {idCbAuto, "Button", "Auto", {344, 20, 441, 37}, true},
    {idEDir, "Edit", nullptr, {16, 80, 426, 101}, true},
    {idEDirBrowse, "Button", "...", {428, 80, 449, 101}, true},
    {idCbBlankAside, "Button", "Set blank sides aside", {16, 146, 166, 163}, true},
};

// A close asked while the start-up box is up is not lost: the station ends once it is answered.
TEST_F(StationTest, ACloseWhileTheStartUpBoxIsUpEndsTheStationAfterIt) {
  ASSERT_TRUE(Station.Start(NoCompatibleScanner()));
  HWND box = Station.WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  ASSERT_NE(Station.WaitForWindow(), nullptr);
  ::PostMessageA(Station.Window(), WM_CLOSE, 0, 0);
  StationDriver::PressOk(box);
  ASSERT_TRUE(Station.WaitForExit()) << "the close was lost";
  EXPECT_EQ(Station.ExitCode(), 0u);
}

// What Explorer shows of the program file. (The window's title bar takes the same icon; another
// process cannot read a window class's icon under Wine, so the README's screenshot shows that.)
TEST_F(StationTest, CarriesItsVersionCompanyAndIcon) {
  const std::string exe = StationExe();
  DWORD ignored = 0;
  std::vector<char> info(::GetFileVersionInfoSizeA(exe.c_str(), &ignored));
  ASSERT_FALSE(info.empty()) << "no version resource";
  ASSERT_TRUE(::GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  auto text = [&](const char *name) {
    char *value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&value), &length) || !value)
      return std::string("<missing>");
    return std::string(value);
  };
  EXPECT_EQ(text("ProductName"), "Tovik Scan");
  EXPECT_EQ(text("CompanyName"), "Tovik");
  EXPECT_EQ(text("ProductVersion"), TOVIK_VERSION);
  EXPECT_EQ(text("FileVersion"), TOVIK_VERSION);
  EXPECT_EQ(::ExtractIconExA(exe.c_str(), -1, nullptr, nullptr, 0), 1u) << "one icon for Explorer";
}

TEST_F(StationTest, WindowAndControlsAreLaidOutAsDesigned) {
  StartWithoutScanner();
  HWND window = Station.Window();

  RECT client;
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 651); // the controls' 469, then the last sheet's two sides
  EXPECT_EQ(client.bottom, 172);
  EXPECT_EQ(StationDriver::WindowText(window), "Tovik Scan");
  const LONG style = ::GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME); // fixed border
  RECT frame;
  ::GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  std::vector<int> tabOrder;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    tabOrder.push_back(::GetDlgCtrlID(child));
  EXPECT_EQ(tabOrder, (std::vector<int>{idBtGo, idCbShowConfig, idPb, idCbAuto, idEDir, idEDirBrowse,
                                        idLbStatus, idCbBlankAside, idLbCounts}));

  for (const Expected &e : kDesigned) {
    SCOPED_TRACE(e.id);
    HWND control = Station.Control(e.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(_stricmp(ClassOf(control).c_str(), e.cls), 0) << ClassOf(control);
    if (e.text) {
      EXPECT_EQ(Station.Text(e.id), e.text);
    }
    RECT r = ClientRectOf(control, window);
    EXPECT_EQ(r.left, e.rect.left);
    EXPECT_EQ(r.top, e.rect.top);
    EXPECT_EQ(r.right, e.rect.right);
    EXPECT_EQ(r.bottom, e.rect.bottom);
    EXPECT_EQ((::GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) != 0, e.tabStop);
  }
  RECT rect = ClientRectOf(Station.Control(idEDir), window);
  RECT browse = ClientRectOf(Station.Control(idEDirBrowse), window);
  EXPECT_TRUE(rect.left == 16 && browse.right == 16 + 433) << "the folder field spans 433 pixels";
  EXPECT_FALSE(Station.IsTicked(idCbShowConfig));
  EXPECT_FALSE(Station.IsTicked(idCbAuto));
  EXPECT_FALSE(Station.IsTicked(idCbBlankAside)); // off at first: pages as they always were
  EXPECT_EQ(::SendMessageA(Station.Control(idPb), PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(::SendMessageA(Station.Control(idPb), PBM_GETRANGE, FALSE, 0), 100);

  // The status label sits at 16,120 and is as wide as its text: empty after start-up.
  HWND status = Station.Control(idLbStatus);
  EXPECT_EQ(_stricmp(ClassOf(status).c_str(), "Static"), 0);
  RECT label = ClientRectOf(status, window);
  EXPECT_EQ(label.left, 16);
  EXPECT_EQ(label.top, 120);
  EXPECT_EQ(label.right, 16);
  EXPECT_GT(label.bottom, 120);
  CloseStation();
}

// Wine takes the display's dpi from the registry when a program starts; the prefix's own setting
// comes back at the end.
class ScopedDisplayDpi {
public:
  explicit ScopedDisplayDpi(DWORD dpi) {
    DWORD size = sizeof Old;
    Had = ::RegGetValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", RRF_RT_DWORD, nullptr, &Old, &size) == 0;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
  }
  ~ScopedDisplayDpi() {
    if (Had)
      ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", REG_DWORD, &Old, sizeof Old);
    else
      ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels");
  }

private:
  static constexpr const char *kDesktop = "Control Panel\\Desktop";
  DWORD Old = 0;
  bool Had = false;
};

struct UnhookFree {
  void operator()(HHOOK hook) const { ::UnhookWindowsHookEx(hook); }
};

// Every control at the design's place scaled to dpi, and every text whole in the station's font
// (whose height the status line, as high as its text, shows).
void ExpectLaidOutAt(const StationDriver &station, int dpi, const std::string &statusText) {
  SCOPED_TRACE("at " + std::to_string(dpi) + " dpi");
  auto scaled = [dpi](LONG pixels) { return ::MulDiv(pixels, dpi, 96); };
  RECT client;
  ::GetClientRect(station.Window(), &client);
  EXPECT_EQ(client.right, scaled(651));
  EXPECT_EQ(client.bottom, scaled(172));
  win::UniqueFont font(::CreateFontA(-scaled(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                                     0, 0, 0, "MS Sans Serif"));
  // Room beside the text: a push button's edges, a check box's box and gap.
  const std::pair<int, LONG> texts[] = {{idBtGo, 6},    {idEDirBrowse, 6},    {idCbShowConfig, 17},
                                        {idCbAuto, 17}, {idCbBlankAside, 17}, {idLbCounts, 0},
                                        {idLbStatus, 0}};
  for (const auto &[id, beside] : texts) {
    const std::string text = id == idLbStatus ? statusText : station.Text(id);
    SCOPED_TRACE(text);
    win::WindowDC dc(station.Control(id));
    win::SelectGuard selected(dc.get(), font.get());
    SIZE size = {};
    ::GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    const RECT r = ClientRectOf(station.Control(id), station.Window());
    EXPECT_LE(size.cx + scaled(beside), r.right - r.left);
    EXPECT_LE(size.cy, r.bottom - r.top);
    if (id == idLbStatus) {
      EXPECT_EQ(station.Text(id), statusText) << "cut at this scale";
      EXPECT_EQ(r.bottom - r.top, size.cy) << "the station's font is not the design's at this scale";
      EXPECT_EQ(r.left, scaled(16));
      EXPECT_EQ(r.top, scaled(120));
    }
  }
  for (const Expected &e : kDesigned) {
    const RECT r = ClientRectOf(station.Control(e.id), station.Window());
    EXPECT_TRUE(r.left == scaled(e.rect.left) && r.top == scaled(e.rect.top) &&
                r.right == scaled(e.rect.right) && r.bottom == scaled(e.rect.bottom))
        << e.id << " at " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
}

// The design's pixels are 96 dpi's: at 125, 150 and 200 % the controls and the font grow with the
// display, and again when the window moves to a monitor of another scale.
TEST_F(StationTest, LayoutScalesWithTheDisplayAndTextsFitAtEveryDpi) {
  std::string statusText; // long, and whole at 96 dpi
  for (int dpi : {96, 120, 144, 192}) {
    ScopedDisplayDpi display(dpi);
    StationDriver station(StationExe());
    ASSERT_TRUE(station.Start(NoCompatibleScanner()));
    StationDriver::PressOk(station.WaitForMessageBox());
    ASSERT_TRUE(station.WaitUntilShown());
    station.SetText(idEDir, "Scans"); // not a whole path: said in the status line
    station.PressKey(idEDir, VK_RETURN);
    ASSERT_TRUE(station.Sync());
    statusText = statusText.empty() ? station.Text(idLbStatus) : statusText;
    ASSERT_NE(statusText.find("Scans"), std::string::npos) << statusText;
    ExpectLaidOutAt(station, dpi, statusText);
    if (dpi == 96) {
      // Moved to a 200 % monitor: WM_DPICHANGED, sent from inside the station as Windows sends it.
      win::UniqueLibrary dll(::LoadLibraryA(WindowsPath(TOVIK_DPI_CHANGE_HOOK).c_str()));
      const auto proc =
          reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(::GetProcAddress(dll.get(), "DpiChangeHook")));
      win::Unique<HHOOK, nullptr, UnhookFree> hook(::SetWindowsHookExA(
          WH_GETMESSAGE, proc, dll.get(), ::GetWindowThreadProcessId(station.Window(), nullptr)));
      ASSERT_TRUE(hook);
      ::PostMessageA(station.Window(), ::RegisterWindowMessageA("TovikTestDpiChangeRequest"), 192, 96);
      ASSERT_TRUE(station.Sync());
      ExpectLaidOutAt(station, 192, statusText);
    }
    station.SetText(idEDir, kDataDir);
    ASSERT_TRUE(station.Close());
  }
}

} // namespace
