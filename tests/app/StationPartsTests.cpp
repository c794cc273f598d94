// The settings file, the error box text, the choice of scanner and folder creation.
#include "app/BatchCounts.h"
#include "app/FolderCheck.h"
#include "app/MessageLoop.h"
#include "app/PaintingWait.h"
#include "app/ScannerChoice.h"
#include "app/SettingsStore.h"
#include "app/SideNews.h"
#include "app/StationShutdown.h"
#include "app/StatusLine.h"
#include "app/StatusTexts.h"
#include "app/uUtils.h"
#include "win/Owners.h"
#include "writer/FolderKey.h"
#include "writer/PageFile.h"

#include <gtest/gtest.h>

#include <FreeImage.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace {

struct FreeImageEnvironment : ::testing::Environment {
  void SetUp() override { FreeImage_Initialise(TRUE); }
  void TearDown() override { FreeImage_DeInitialise(); }
};
const auto *const kFreeImage = ::testing::AddGlobalTestEnvironment(new FreeImageEnvironment);

// A fresh folder name under the temporary folder; the folder itself does not exist yet.
std::string FreshFolder(const std::string &name) {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder =
      std::string(temp) + "tovik-station-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
  ::DeleteFileA((folder + "\\a\\b\\config.ini").c_str());
  ::RemoveDirectoryA((folder + "\\a\\b").c_str());
  ::RemoveDirectoryA((folder + "\\a").c_str());
  ::RemoveDirectoryA(folder.c_str());
  return folder;
}

std::string FileText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsFile(const std::string &path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SettingsStore, WritesOnlyWhenDestroyedIntoAFolderItCreates) {
  const std::string file = FreshFolder("settings") + "\\a\\b\\config.ini";
  int asked = 0;
  {
    TSettingsStore store([&] {
      ++asked;
      return file;
    });
    EXPECT_EQ(store.ReadString("eDir", "C:\\Default"), "C:\\Default"); // no file yet
    store.WriteString("eDir", "Q:\\not there\\out");
    EXPECT_EQ(store.ReadString("eDir", "C:\\Default"), "Q:\\not there\\out");
    EXPECT_FALSE(IsFile(file));
  }
  EXPECT_GT(asked, 0);
  EXPECT_NE(FileText(file).find("[Main]"), std::string::npos);
  EXPECT_NE(FileText(file).find("eDir=Q:\\not there\\out"), std::string::npos);

  TSettingsStore reread([&] { return file; });
  EXPECT_EQ(reread.ReadString("eDir", "C:\\Default"), "Q:\\not there\\out");
  EXPECT_EQ(reread.ReadString("Other", "fallback"), "fallback");
  reread.SetDefaultSection("Elsewhere");
  EXPECT_EQ(reread.ReadString("eDir", "fallback"), "fallback");

  // A file that cannot be written is said, not ignored: here its folder's name is taken by a file.
  const std::string folder = FreshFolder("settings-blocked"), blocked = folder + "\\taken";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  {
    win::UniqueFile taken(
        ::CreateFileA(blocked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  TSettingsStore unwritable([&] { return blocked + "\\config.ini"; });
  unwritable.WriteString("eDir", "C:\\Elsewhere");
  EXPECT_FALSE(unwritable.WriteNow());
  EXPECT_TRUE(reread.WriteNow()) << "nothing to write is no failure";
}

TEST(SettingsStore, LongValuesSurviveTheRoundTrip) {
  const std::string file = FreshFolder("long") + "\\a\\b\\config.ini";
  const std::string value = "C:\\" + std::string(1500, 'x');
  {
    TSettingsStore([&] { return file; }).WriteString("eDir", value);
  }
  EXPECT_EQ(TSettingsStore([&] { return file; }).ReadString("eDir", ""), value);
}

TEST(Paths, TrailingDelimiterAndFolderChains) {
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\ProgramData"), "C:\\ProgramData\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\Out\\"), "C:\\Out\\");

  const std::string folder = FreshFolder("chain") + "\\a\\b";
  EXPECT_TRUE(ForceDirectories(folder + "\\"));
  EXPECT_NE(::GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(ForceDirectories(folder)); // already there
  EXPECT_FALSE(GetSpecialFolderPath(0x23 /* CSIDL_COMMON_APPDATA */).empty());
}

TEST(ErrorBox, TextAndTitle) {
  EXPECT_EQ(ErrorBoxText("Error: GetDIBits failed"), "Error: GetDIBits failed.");
  EXPECT_EQ(ErrorBoxText("Code 42"), "Code 42.");
  EXPECT_EQ(ErrorBoxText("Why?"), "Why?."); // '?' sorts after '.'
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorBoxText(""), "");
  EXPECT_EQ(ApplicationTitle(), "station_unit_tests"); // the first character is kept as it is
}

TEST(ErrorBox, CallbackBoundaryDefersErrorsAndDropsAborts) {
  std::string message;
  while (TakeDeferredError(message)) {
  }
  EXPECT_TRUE(GuardedCall([] {}));
  EXPECT_FALSE(GuardedCall([] { throw EAbort(); }));
  EXPECT_FALSE(TakeDeferredError(message));
  EXPECT_FALSE(GuardedCall([] { throw std::runtime_error("first"); }));
  EXPECT_FALSE(GuardedCall([] { throw std::logic_error("second"); }));
  ASSERT_TRUE(TakeDeferredError(message));
  EXPECT_EQ(message, "first");
  ASSERT_TRUE(TakeDeferredError(message));
  EXPECT_EQ(message, "second");
  EXPECT_FALSE(TakeDeferredError(message));
}

// Presses OK on a shown message box of the thread; data: an atomic<bool> set when one was seen.
BOOL CALLBACK AnswerErrorBox(HWND window, LPARAM data) {
  char cls[16] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) != "#32770" || !::IsWindowVisible(window))
    return TRUE;
  *reinterpret_cast<std::atomic<bool> *>(data) = true;
  ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

// A start-up that fails after its window was destroyed has a quit pending: the box must still be
// seen and answered, and the quit must still end the loop afterwards.
TEST(ErrorBox, APendingQuitDoesNotSwallowTheBox) {
  const DWORD thread = ::GetCurrentThreadId();
  std::atomic<bool> seen{false};
  std::thread answerer([&] {
    for (int i = 0; i < 3000 && !seen; ++i) {
      ::EnumThreadWindows(thread, AnswerErrorBox, reinterpret_cast<LPARAM>(&seen));
      ::Sleep(10);
    }
  });
  ::PostQuitMessage(7);
  DeferError("Cannot create the main window");
  ShowDeferredErrors(nullptr);
  answerer.join();
  EXPECT_TRUE(seen);
  MSG quit;
  ASSERT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
}

TEST(StatusLine, TextsOfTheWritersStateAndOfFailedPages) {
  TWriterState waiting;
  waiting.Pages = 3;
  waiting.WaitReason = "the disk is full";
  EXPECT_EQ(WriterStatusText(waiting, false), "3 pages waiting: the disk is full");
  EXPECT_EQ(WriterStatusText(waiting, true), "Writing 3 pages\x85");
  TWriterState flowing;
  flowing.Pages = 1;
  EXPECT_EQ(WriterStatusText(flowing, false), "");
  EXPECT_EQ(WriterStatusText(flowing, true), "Writing 1 page\x85");
  EXPECT_EQ(FailedPageText("JPEG cannot hold a 1-bit image", "C:\\Out\\ScanF.jpg", 2),
            "JPEG cannot hold a 1-bit image: 2 pages not saved, the last C:\\Out\\ScanF.jpg");

  // The box at the end counts every page not in its folder and names those saved nowhere.
  TWriterState end;
  end.Unsaved = 1;
  end.Lost = 1;
  end.Refused = 1;
  end.NotWritten = {"S:\\Out\\Scan1F.jpg", "C:\\Out\\Scan2B.jpg"};
  EXPECT_EQ(UnsavedPagesText(end, "U:\\Unsaved\\"),
            "1 page could not be written to its folder and was saved in U:\\Unsaved\\\n"
            "2 pages could not be saved anywhere; scan these sheets again:\nScan1F.jpg\nScan2B.jpg");
  EXPECT_EQ(BlankSidesSetAsideText(3, "C:\\Out"), "3 blank sides set aside in C:\\Out\\Blank\\");
  EXPECT_EQ(BlankSidesSetAsideText(1, "D:\\"), "1 blank side set aside in D:\\Blank\\");
  EXPECT_EQ(BlankSidesSetAsideText(0, "C:\\Out"), "");
}

// A page that could never be written is named at the close, also when the queue is already
// empty by then: its sheet is to be scanned again.
TEST(StationShutdownTest, NamesAPageNeverWrittenWhenTheQueueIsAlreadyEmpty) {
  TSaveThread::Options options;
  options.Encoders = 0;
  options.Writer = [](TSaveRec &) { return TPageWriteResult::Refusal("JPEG cannot hold it"); };
  TSaveThread writer(options);
  auto rec = std::make_unique<TSaveRec>();
  rec->FileName = "C:\\Out\\Scan20261207093015000F.jpg";
  writer.QueuePage(std::move(rec));
  while (writer.State().Pages > 0)
    ::Sleep(10);
  std::vector<std::string> boxes;
  TStationShutdown::Parts parts;
  parts.Writer = &writer;
  parts.ShowBox = [&](const std::string &text) { boxes.push_back(text); };
  TStationShutdown shutdown(parts);
  EXPECT_TRUE(shutdown.CloseRequested());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("scan these sheets again:\nScan20261207093015000F.jpg"), std::string::npos)
      << boxes[0];
}

// A folder pages can never go into is refused with its reason; one that may come back is taken.
TEST(FolderCheck, FoldersTakenRefusedAndComparedInOneForm) {
  const auto noDriveQ = [](char drive) { return drive != 'Q'; };
  const struct {
    const char *Folder;
    bool Taken;
    const char *Says;
  } kCases[] = {
      {"C:\\Scans", true, ""},
      {"S:\\vanished\\share\\", true, ""},
      {"E:\\", true, ""},
      {"E:", true, ""},
      {"\\\\server\\share\\scans", true, ""},
      {"q:\\Scans", true, "the drive Q: is away, pages wait for it"},
      {"C:\\Scans?", false, "a folder name cannot hold the character ?"},
      {"C:\\Sc:ans", false, "a folder name cannot hold the character :"},
      {"C:\\Scans\\con", false, "con is the name of a device"},
      {"C:\\LPT1.txt\\x", false, "LPT1.txt is the name of a device"},
      {"\\\\.\\PhysicalDrive0", false, "it is a device, not a folder"},
      {"\\\\?\\C:\\Scans", false, "it is a device, not a folder"},
      {"Scans", false, "give a whole path like C:\\Scans"},
      {"C:Scans", false, "give a whole path like C:\\Scans"},
      {"\\Scans", false, "give a whole path like C:\\Scans"},
      {"\\\\server", false, "a network path needs a share"},
      {"C:\\Scans ", false, "a name ends in a space or a dot"},
      {"C:\\Scans.\\x", false, "a name ends in a space or a dot"},
      {"C:\\Scans\\..\\x", false, "the path cannot hold . or .."},
      {"C:\\COM\xB9", false, "COM\xB9 is the name of a device"}, // COM with a superscript 1
      {"C:\\x\\lpt\xB3.txt", false, "lpt\xB3.txt is the name of a device"},
  };
  for (const auto &c : kCases) {
    const TFolderCheck check = CheckFolder(c.Folder, noDriveQ);
    EXPECT_EQ(check.Taken, c.Taken) << c.Folder;
    EXPECT_EQ(check.Says, c.Says) << c.Folder;
    EXPECT_EQ(IsFolderPath(c.Folder), c.Taken) << c.Folder;
  }
  EXPECT_TRUE(CheckFolder("C:\\" + std::string(220, 'a'), noDriveQ).Says.empty());
  EXPECT_EQ(CheckFolder("C:\\" + std::string(230, 'a'), noDriveQ).Says,
            "the path is too long for the page files");
  EXPECT_FALSE(IsFolderPath(""));
  // With blank sides set aside, room for "\Blank" too: 218 characters are the most.
  EXPECT_TRUE(CheckFolder("C:\\" + std::string(215, 'a'), noDriveQ, true).Taken);
  EXPECT_EQ(CheckFolder("C:\\" + std::string(216, 'a'), noDriveQ, true).Says,
            "the path is too long for the folder Blank inside it");
  EXPECT_TRUE(CheckFolder("C:\\" + std::string(216, 'a'), noDriveQ, false).Taken);

  // A file is no folder, nor is anything inside it; a folder that is there is one.
  const std::string there = FreshFolder("folder-or-file"), file = there + "\\list.txt";
  ::CreateDirectoryA(there.c_str(), nullptr);
  std::ofstream(file) << "a list";
  for (const auto &c : std::vector<std::pair<std::string, std::string>>{
           {file, "it is a file, not a folder"},
           {file + "\\", "it is a file, not a folder"},
           {file + "\\new\\", "list.txt is a file, not a folder"},
           {there + "\\", ""},
           {there + "\\new", ""}}) {
    EXPECT_EQ(CheckFolder(c.first, noDriveQ).Says, c.second) << c.first;
    EXPECT_EQ(IsFolderPath(c.first), c.second.empty()) << c.first;
  }
  ::DeleteFileA(file.c_str());
  ::RemoveDirectoryA(there.c_str());

  // The writer's one form of a folder: as typed, as browsed, as the pages' names hold it.
  for (const auto &same : std::vector<std::pair<std::string, std::string>>{
           {"S:\\scans\\", "s:/Scans"}, {"E:\\", "E:"}, {"\\\\Server\\Share\\x\\", "//server/share//X"}})
    EXPECT_EQ(FolderKey(same.first), FolderKey(same.second)) << same.first;
  EXPECT_NE(FolderKey("\\\\server\\share"), FolderKey("\\server\\share"));
  EXPECT_NE(FolderKey("C:\\Scans"), FolderKey("C:\\Scans2"));

  // Every write failure in words; a code only beside them.
  EXPECT_EQ(PageWriteErrorText(ERROR_FILE_NOT_FOUND), "the folder is unreachable");
  EXPECT_EQ(PageWriteErrorText(ERROR_FILE_EXISTS), "the file name is taken");
  const std::string unknown = PageWriteErrorText(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(unknown.rfind("the file could not be written (", 0), 0u) << unknown;
  EXPECT_NE(unknown.find("error 1)"), std::string::npos) << unknown;
}

// One character is one unit wide here: the cut falls inside the path's folders, so the reason
// in front and the file's own name stay whole.
TEST(StatusLine, ALongPathLosesItsMiddle) {
  auto width = [](const std::string &s) { return static_cast<int>(s.size()); };
  const std::string text = "The disk is full: 1 page not saved, the last C:\\Scans\\deep\\deeper\\ScanF.jpg";
  EXPECT_EQ(MiddleEllipsis(text, width, 200), text);
  const std::string cut = MiddleEllipsis(text, width, 65);
  EXPECT_EQ(cut, "The disk is full: 1 page not saved, the last C:\\Sc...er\\ScanF.jpg");
  EXPECT_EQ(MiddleEllipsis("no path in this long text", width, 10).size(), 10u);
}

int paints = 0, others = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT)
    ++paints;
  if (message == WM_APP)
    ++others;
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// While the queue holds the scan back the window paints, but no posted message (a click, a
// timer, a close) may run beneath the batch.
TEST(PaintingWait, PaintsButRunsNoPostedMessage) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountingWindowProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "TovikPaintingWaitTest";
  ::RegisterClassA(&wc);
  win::UniqueWindow window(::CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                           100, nullptr, nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(window);
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageA(&msg);
  paints = others = 0;
  ::InvalidateRect(window.get(), nullptr, TRUE);
  ::PostMessageA(window.get(), WM_APP, 0, 0);
  win::UniqueHandle never(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(WaitPainting(never.get(), 300));
  EXPECT_GE(paints, 1);
  EXPECT_EQ(others, 0);
  EXPECT_TRUE(::PeekMessageA(&msg, window.get(), WM_APP, WM_APP, PM_REMOVE)) << "the posted message was lost";
}

TEST(ScannerChoice, FirstProductNameWithKvsInAnyCase) {
  std::vector<std::string> names = {"GPhoto2 Camera", "Maker kV-s1025C", "KV-S2048", "broken"};
  std::vector<int> asked;
  auto name = [&](int i) {
    asked.push_back(i);
    return names.at(i);
  };
  EXPECT_EQ(FirstCompatibleScanner(int(names.size()), name), 1);
  EXPECT_EQ(asked, (std::vector<int>{0, 1})); // nothing after the first match is looked at
  EXPECT_EQ(FirstCompatibleScanner(1, name), -1);
  EXPECT_EQ(FirstCompatibleScanner(0, name), -1);
  EXPECT_FALSE(IsCompatibleScanner("KV S1025"));
}

// The counts line: a sheet per front (or per back whose front never came); a blank side counted
// in its own batch, never in the one shown when it comes late, and in the day's; the day's pages
// counted as written (pages kept only in the unsaved folder said apart), and started again when
// the clock passes midnight, scanning or not.
TEST(BatchCountsTest, CountsSheetsPagesBlankSidesAndTheDay) {
  struct Step {
    char what; // 'F', 'B': a page handed over; 'X': a blank side; 'W': written; 'U': unsaved; 'D': the clock
    unsigned batch;
    const char *day;
    const char *text;
  };
  const Step steps[] = {
      {'F', 1, "", "This batch: 1 sheet, 1 page, 0 blank   Today: 40 pages"},
      {'B', 1, "", "This batch: 1 sheet, 2 pages, 0 blank   Today: 40 pages"},
      {'W', 2, "20261207", "This batch: 1 sheet, 2 pages, 0 blank   Today: 42 pages"},
      {'B', 1, "", "This batch: 2 sheets, 3 pages, 0 blank   Today: 42 pages"},
      {'X', 1, "", "This batch: 2 sheets, 3 pages, 1 blank   Today: 42 pages, 1 blank"},
      {'F', 2, "", "This batch: 1 sheet, 1 page, 0 blank   Today: 42 pages, 1 blank"},
      {'X', 1, "", "This batch: 1 sheet, 1 page, 0 blank   Today: 42 pages, 2 blank"},
      {'U', 1, "20261207", "This batch: 1 sheet, 1 page, 0 blank   Today: 42 pages, 2 blank (1 unsaved)"},
      {'D', 0, "20261207", "This batch: 1 sheet, 1 page, 0 blank   Today: 42 pages, 2 blank (1 unsaved)"},
      {'D', 0, "20261208", "This batch: 1 sheet, 1 page, 0 blank   Today: 0 pages"},
      {'W', 1, "20261208", "This batch: 1 sheet, 1 page, 0 blank   Today: 1 page"},
  };
  TBatchCounts counts;
  counts.SetToday("20261207", 40);
  for (const Step &step : steps) {
    if (step.what == 'X')
      counts.Blank(step.batch);
    else if (step.what == 'W' || step.what == 'U')
      counts.Written(step.day, step.what == 'W' ? step.batch : 0, step.what == 'U' ? step.batch : 0);
    else if (step.what == 'D')
      counts.TurnDay(step.day);
    else
      counts.Page(step.batch, step.what == 'B');
    EXPECT_EQ(counts.Text(2), std::string(step.text) + "   Waiting: 2");
  }
  EXPECT_EQ(counts.Day(), "20261208");
}

// The two pictures show one sheet, the newest: a side of an older sheet that comes late is not
// shown, and a new sheet's front empties the back until its own comes (a one-sided sheet keeps
// an empty back).
TEST(SheetPicturesTest, ShowOneSheetTheNewest) {
  struct Step {
    unsigned frontSheet, backSheet; // 0: no picture of that side in the news
    const char *shown;              // the sheets shown, front/back; '-' for none
  };
  const Step steps[] = {{1, 0, "1/-"}, {0, 1, "1/1"}, {2, 0, "2/-"}, {0, 1, "2/-"},
                        {3, 2, "3/-"}, {0, 3, "3/3"}, {4, 4, "4/4"}};
  auto picture = [](unsigned sheet) {
    TSidePicture p;
    p.Width = p.Height = 1;
    p.Bgr.assign(4, static_cast<uint8_t>(sheet));
    return p;
  };
  auto sheetOf = [](const TSidePicture &p) {
    return p.Empty() ? std::string("-") : std::to_string(p.Bgr[0]);
  };
  TSheetPictures pictures;
  for (const Step &step : steps) {
    TSideNews::TNews news;
    if (step.frontSheet)
      news.Front = {step.frontSheet, picture(step.frontSheet)};
    if (step.backSheet)
      news.Back = {step.backSheet, picture(step.backSheet)};
    pictures.Take(news);
    EXPECT_EQ(sheetOf(pictures.Front()) + "/" + sheetOf(pictures.Back()), step.shown);
  }

  // What the writer tells between two looks keeps each side's newest picture (an older sheet's,
  // or a side without a picture, does not replace it) and counts pages kept only as unsaved apart.
  TSideNews writer(nullptr, WM_APP, "U:\\Unsaved\\");
  for (const auto &[sheet, withPicture, name] :
       {std::tuple<unsigned, bool, const char *>{5, true, "C:\\Out\\a.jpg"},
        {4, true, "C:\\Out\\b.jpg"},
        {6, false, "U:\\Unsaved\\c.jpg"}}) {
    TSideWritten side;
    side.FileName = name;
    side.Sheet = sheet;
    if (withPicture)
      side.Picture = picture(sheet);
    writer.Post(std::move(side));
  }
  TSideNews::TNews news = writer.Take();
  EXPECT_EQ(sheetOf(news.Front.Picture), "5");
  EXPECT_EQ(news.Written, 2u);
  EXPECT_EQ(news.Unsaved, 1u);
}

} // namespace
