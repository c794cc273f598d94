// Output folders that fail under the station: a share that vanishes and comes back, a disk that
// fills up, and the end of the run while pages still wait. No page may be lost on the way.
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <shlobj.h>

#include <fstream>

using namespace e2e;
using namespace e2escan;
using namespace station;

namespace {

// S: and R: are linked to these folders, which the tests remove and put back; T: is a 1 MB disk.
const std::string kDrives = WindowsPath(TOVIK_FAULT_DRIVES);
const std::string kShare = kDrives + "\\share";
const std::string kRoot = kDrives + "\\root";
// Under the user's own application data: the pages may be private.
std::string UnsavedFolder() {
  char local[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
  return std::string(local) + "\\Tovik\\TovikScan\\Unsaved";
}
const std::string kUnsaved = UnsavedFolder();
const std::string kUnsavedText =
    "2 pages could not be written to their folder and were saved in " + kUnsaved + "\\";
const std::string kShareGoneText = "2 pages waiting: the folder is unreachable";
const char *const kDisableDs = "CONTROL/USERINTERFACE/DISABLEDS";
const char *const kConfigFile = "C:\\ProgramData\\Tovik\\TovikScan\\config.ini";
const char *const kList = "C:\\list.txt";
// The folder of a station with none stored: the user's own documents.
std::string DefaultFolder() {
  char documents[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents);
  return std::string(documents) + "\\TovikScan";
}

void RemoveTree(const std::string &folder) {
  WIN32_FIND_DATAA entry;
  {
    win::FileSearch search((folder + "\\*").c_str(), entry);
    if (search) {
      do {
        const std::string name = entry.cFileName, path = folder + "\\" + name;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          ::DeleteFileA(path.c_str());
        else if (name != "." && name != "..")
          RemoveTree(path);
      } while (search.Next(entry));
    }
  }
  ::RemoveDirectoryA(folder.c_str());
}

class OutputFolderTest : public ScanStationTest {
protected:
  OutputFolderTest() { // the share and the drive are gone
    RemoveTree(kShare);
    RemoveTree(kRoot);
  }
  ~OutputFolderTest() override {
    RemoveTree(kShare);
    RemoveTree(kRoot);
    RemoveTree(kUnsaved);
  }

  // The share comes back whole, as a network share does: built beside, then moved into place.
  static void BringShareBack(const std::string &share = kShare) {
    const std::string beside = share + "-back";
    ::CreateDirectoryA(beside.c_str(), nullptr);
    ::MoveFileA(beside.c_str(), share.c_str());
  }
  bool WaitForStatus(const std::string &text) const {
    return WaitFor([&] { return Station.Text(idLbStatus) == text; });
  }
  // One sheet scanned into the share while it is gone.
  void ScanIntoTheVanishedShare() {
    RemoveTree(kUnsaved);
    Start(SmallPages(1));
    TypeOutputFolder("S:\\scans");
    Station.Click(idBtGo);
    ASSERT_TRUE(WaitForStatus(kShareGoneText)) << Station.Text(idLbStatus);
  }
  // The box that tells where the pages went: owned by the window, answered, and the station ends.
  void ExpectTheUnsavedBox() {
    HWND box = Station.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "no box about the unsaved pages; ended: " << Station.WaitForExit(0)
                            << ", status: " << Station.Text(idLbStatus) << ", "
                            << ScannedPages(kUnsaved).size() << " pages in Unsaved";
    EXPECT_EQ(StationDriver::MessageBoxText(box), kUnsavedText);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), Station.Window());
    StationDriver::PressOk(box);
    ASSERT_TRUE(Station.WaitForExit()) << "the station did not end after the box";
    EXPECT_EQ(Station.ExitCode(), 0u);
    ExpectDuplexPages(ScannedPages(kUnsaved), 1);
  }
};

// The pages wait in order, Auto feeds no more paper into the dead end, and once the share is back
// the missing folders are made, every page is written once under its name and Auto goes on by
// itself. The folder the pages wait for, given again however it is written (Enter, leaving the
// field), changes nothing: the status still says why they wait.
struct WaitingFolder {
  const char *typed;
  const char *linkedTo; // the folder behind the drive letter, which comes back
  bool givenAgain;
};

class PagesWaitTest : public OutputFolderTest, public ::testing::WithParamInterface<WaitingFolder> {};

TEST_P(PagesWaitTest, ForAVanishedFolderAndAutoGoesOnWhenItIsBack) {
  const WaitingFolder row = GetParam();
  const std::string folder = row.typed, share = kDrives + "\\" + row.linkedTo;
  std::string look = folder; // the folder the files are looked for in
  while (look.back() == '\\')
    look.pop_back();
  Start(SmallPages(2).Set("sheets_per_batch", 1));
  Station.TypeKeys(idEDir, folder);
  Station.ClickWithMouse(idCbAuto);
  ASSERT_TRUE(WaitForStatus(kShareGoneText)) << Station.Text(idLbStatus);
  if (row.givenAgain) {
    for (UINT key : {VK_RETURN, VK_TAB}) {
      Station.ClickWithMouse(idEDir);
      Station.PressKey(idEDir, key);
      ASSERT_TRUE(Station.Sync());
      EXPECT_EQ(Station.Text(idLbStatus), kShareGoneText) << "given again by key " << key;
    }
  }
  for (int tick = 0; tick < 3; ++tick) // the automatic start, with paper still in the feeder
    ASSERT_TRUE(Station.RunTimerTick(idTmCheck));
  EXPECT_EQ(CountInLog("CONTROL/USERINTERFACE/ENABLEDS"), 1u) << "Auto fed paper while pages waited";
  EXPECT_EQ(Station.Text(idLbStatus), kShareGoneText);

  BringShareBack(share);
  ASSERT_TRUE(WaitFor([&] { return ScannedPages(look).size() >= 4; })) << ScannedPages(look).size();
  ASSERT_TRUE(WaitForLog(kDisableDs, 2));
  EXPECT_TRUE(WaitForStatus("")) << Station.Text(idLbStatus);
  CloseStation();
  ExpectDuplexPages(ScannedPages(look), 2);
}

INSTANTIATE_TEST_SUITE_P(Folders, PagesWaitTest,
                         ::testing::Values(WaitingFolder{"S:\\scans\\today", "share", false},
                                           WaitingFolder{"S:\\scans\\", "share", true},
                                           WaitingFolder{"R:\\", "root", true}));

// A folder as people write it, given the ways a person gives it (a key or a click; none: read from
// config.ini at start): taken, and remembered at once, or refused with its reason, config.ini left
// as it was (or, read at start, given the folder shown) and nothing scanned for it.
struct FolderForm {
  const char *typed; // "{out}" is the test's own output folder, which exists
  int control;
  UINT key; // 0: a click
  bool taken;
  const char *status;
  bool listIsThere = false; // the file C:\list.txt exists
};

class FolderFormTest : public OutputFolderTest, public ::testing::WithParamInterface<FolderForm> {};

TEST_P(FolderFormTest, IsTakenOrRefusedWithItsReason) {
  const FolderForm row = GetParam();
  const std::string typed = row.typed[0] == '{' ? OutputFolder + (row.typed + 5) : row.typed;
  auto config = [] {
    char value[MAX_PATH] = {};
    ::GetPrivateProfileStringA("Main", "eDir", "", value, sizeof value, kConfigFile);
    return std::string(value);
  };
  struct List {
    explicit List(bool there) {
      if (there)
        std::ofstream(kList) << "a list, not a folder";
    }
    ~List() { ::DeleteFileA(kList); }
  } list(row.listIsThere);
  if (!row.control)
    ::WritePrivateProfileStringA("Main", "eDir", typed.c_str(), kConfigFile);
  const std::string before = config();
  Start(SmallPages(1));
  if (!row.control) {
    EXPECT_EQ(Station.Text(idEDir), row.taken ? typed : DefaultFolder());
    CloseStation();
    EXPECT_EQ(config(), row.taken ? typed : DefaultFolder()) << "config.ini";
    return;
  }
  Station.TypeKeys(idEDir, typed);
  row.key ? Station.PressKey(row.control, row.key) : Station.ClickWithMouse(row.control);
  if (row.control == idEDirBrowse) { // the picker opens at the folder in the field
    HWND picker = Station.WaitForMessageBox();
    ASSERT_TRUE(Station.Sync());
    StationDriver::PressOk(picker);
  }
  ASSERT_TRUE(Station.Sync() && Station.RunTimerTick(idTmCheck));
  EXPECT_EQ(Station.Text(idLbStatus), row.status);
  EXPECT_EQ(config(), row.taken ? typed : before) << "config.ini";
  if (row.taken && (row.control == idBtGo || row.control == idCbAuto))
    EXPECT_TRUE(WaitForPages(2)) << "no scan into the folder taken";
  else
    EXPECT_EQ(CountInLog("CONTROL/USERINTERFACE/ENABLEDS"), 0u) << "a scan for a folder not taken";
  CloseStation();
}

INSTANTIATE_TEST_SUITE_P(
    FormsAndWays, FolderFormTest,
    ::testing::Values(FolderForm{"C:\\viaenter", idEDir, VK_RETURN, true, ""},
                      FolderForm{"{out}\\", idEDir, VK_TAB, true, ""},
                      FolderForm{"{out}\\", idBtGo, 0, true, ""}, FolderForm{"{out}", idCbAuto, 0, true, ""},
                      FolderForm{"C:\\", idEDirBrowse, 0, true, ""},
                      FolderForm{"\\\\server\\share\\scans\\", idEDir, VK_TAB, true, ""},
                      FolderForm{"Q:\\scans", idEDir, VK_RETURN, true,
                                 "The folder Q:\\scans is taken; the drive Q: is away, pages wait for it"},
                      FolderForm{"Scans", idEDir, VK_RETURN, false,
                                 "The folder Scans cannot be used: give a whole path like C:\\Scans"},
                      FolderForm{"C:Scans", idBtGo, 0, false,
                                 "The folder C:Scans cannot be used: give a whole path like C:\\Scans"},
                      FolderForm{"C:\\late ", idEDir, VK_TAB, false,
                                 "The folder C:\\late  cannot be used: a name ends in a space or a dot"},
                      FolderForm{"C:\\scans.", idCbAuto, 0, false,
                                 "The folder C:\\scans. cannot be used: a name ends in a space or a dot"},
                      FolderForm{"\\\\server", idEDir, VK_RETURN, false,
                                 "The folder \\\\server cannot be used: a network path needs a share"},
                      FolderForm{"C:\\COM\xB2", idEDir, VK_TAB, false,
                                 "The folder C:\\COM\xB2 cannot be used: COM\xB2 is the name of a device"},
                      FolderForm{"C:\\list.txt", idEDir, VK_RETURN, false,
                                 "The folder C:\\list.txt cannot be used: it is a file, not a folder", true},
                      FolderForm{"C:\\list.txt\\x", idBtGo, 0, false,
                                 "The folder C:\\list.txt\\x cannot be used: list.txt is a file, "
                                 "not a folder",
                                 true},
                      FolderForm{"C:\\list.txt", 0, 0, false, "", true},
                      FolderForm{"\\\\.\\COM1", 0, 0, false, ""}, FolderForm{"C:\\atstart", 0, 0, true, ""}));

TEST_F(OutputFolderTest, ClosingWhileTheShareIsGoneKeepsThePagesInUnsavedAndSaysWhere) {
  ScanIntoTheVanishedShare();
  ::PostMessageA(Station.Window(), WM_CLOSE, 0, 0);
  ExpectTheUnsavedBox();
}

// Windows ending the session: the same, and config.ini is written before the box can be cut short.
TEST_F(OutputFolderTest, TheEndOfTheSessionKeepsThePagesAndWritesTheSettingsFirst) {
  ScanIntoTheVanishedShare();
  ::PostMessageA(Station.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  ::PostMessageA(Station.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  ASSERT_NE(Station.WaitForMessageBox(), nullptr);
  char folder[MAX_PATH] = {};
  ::GetPrivateProfileStringA("Main", "eDir", "", folder, sizeof folder,
                             "C:\\ProgramData\\Tovik\\TovikScan\\config.ini");
  EXPECT_STREQ(folder, "S:\\scans");
  ExpectTheUnsavedBox();
}

// The share never comes back: the person types another folder and presses Go..; the waiting
// pages go there first, the next sheet's after them, and nothing is left for the end.
TEST_F(OutputFolderTest, WaitingPagesGoToTheFolderGivenNextAndTheNextSheetFollows) {
  Start(SmallPages(2).Set("sheets_per_batch", 1));
  TypeOutputFolder("S:\\scans");
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForStatus(kShareGoneText)) << Station.Text(idLbStatus);
  ASSERT_TRUE(WaitForLog(kDisableDs, 1));

  TypeOutputFolder();
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitForPages(4)) << ScannedPages(OutputFolder).size();
  // The line shortens a long path in its middle.
  EXPECT_TRUE(WaitFor([&] {
    return Station.Text(idLbStatus).rfind("2 pages that waited go to C:\\", 0) == 0;
  })) << Station.Text(idLbStatus);
  CloseStation(); // no box: every page is where the person wanted it
  ExpectDuplexPages(ScannedPages(OutputFolder), 2);
  EXPECT_TRUE(ScannedPages(kUnsaved).empty());
}

TEST_F(OutputFolderTest, AFullDiskHoldsThePagesUntilThereIsRoom) {
  ULARGE_INTEGER free = {};
  if (!::GetDiskFreeSpaceExA("T:\\", &free, nullptr, nullptr))
    GTEST_SKIP() << "no small disk to fill here: " << ReadFileText(kDrives + "\\no-small-disk.txt");
  const std::string folder = "T:\\scans", ballast = "T:\\ballast";
  {
    win::UniqueFile file(
        ::CreateFileA(ballast.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    const std::string block(64 * 1024, 'x');
    DWORD written = 1;
    while (written > 0 &&
           ::WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr))
      ;
  }
  Start(SmallPages(2));
  TypeOutputFolder(folder);
  Station.Click(idBtGo);
  const bool waited = WaitForStatus("4 pages waiting: the disk is full");
  const std::string status = Station.Text(idLbStatus);
  ::DeleteFileA(ballast.c_str());
  ASSERT_TRUE(waited) << status;

  ASSERT_TRUE(WaitFor([&] { return ScannedPages(folder).size() >= 4; })) << ScannedPages(folder).size();
  EXPECT_TRUE(WaitForStatus("")) << Station.Text(idLbStatus);
  CloseStation();
  ExpectDuplexPages(ScannedPages(folder), 2); // whole pages, and no partial file left over
  RemoveTree(folder);
}

} // namespace
