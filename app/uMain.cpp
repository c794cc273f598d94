// The main window's start-up, shutdown and handlers.
#include "app/uMain.h"

#include "app/ControlIds.h"
#include "app/FolderCheck.h"
#include "app/MessageLoop.h"
#include "app/PaintingWait.h"
#include "app/StatusTexts.h"
#include "app/uUtils.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

constexpr const char *kSettingsKey = "eDir";
constexpr const char *kBlankAsideKey = "cbBlankAside";
constexpr const char *kTodayDateKey = "TodayDate";
constexpr const char *kTodayPagesKey = "TodayPages";
constexpr const char *kNoScannerText = "No compatible scanners found";

// A count as config.ini holds it: digits only, and no more than a day can hold; else 0.
unsigned StoredCount(const std::string &text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return static_cast<unsigned>(std::stoul(text));
}

} // namespace

void TfMain::FormCreate() {
  DataDir = IncludeTrailingPathDelimiter(GetSpecialFolderPath(CSIDL_COMMON_APPDATA)) + "Tovik\\TovikScan";
  SetStatus(""); // before the scanner, whose failures at start-up it shows
  SetUpScanner();
  ForceDirectories(DataDir);
  SetOutputFolderText(DefaultOutputFolder());
  WriteFailures = std::make_unique<TThreadText>(Hwnd, kWriteFailedMessage);
  ThreadErrors = std::make_unique<TThreadText>(Hwnd, kThreadErrorMessage);
  StartJournal();
  SideNews = std::make_unique<TSideNews>(Hwnd, kSideNewsMessage, UnsavedFolder());
  SaveThread = std::make_unique<TSaveThread>(WriterOptions());
  Settings = std::make_unique<TSettingsStore>([this] { return SettingsFileName(); }, "Main");
  // Only a folder: a device path in the file would have pages written to a device.
  const std::string stored = Settings->ReadString(kSettingsKey, OutputFolderText());
  if (IsFolderPath(stored))
    SetOutputFolderText(stored);
  SavedFolder = stored;
  ::SendMessageA(cbBlankAside, BM_SETCHECK,
                 Settings->ReadString(kBlankAsideKey, "0") == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
  const std::string today = DayKey();
  Counts.SetToday(today, Settings->ReadString(kTodayDateKey, "") == today
                             ? StoredCount(Settings->ReadString(kTodayPagesKey, ""))
                             : 0);
  ShowCounts();
  GivenFolder = OutputFolderText();
  SaveThread->SetOutputFolder(GivenFolder);

  TStationShutdown::Parts parts;
  parts.Window = Hwnd;
  parts.Writer = SaveThread.get();
  parts.UnsavedFolder = UnsavedFolder();
  parts.SaveSettings = [this] {
    Settings->WriteString(kSettingsKey, FolderToRemember());
    Settings->WriteNow();
  };
  parts.ShowStatus = [this] { RefreshStatus(); };
  Shutdown = std::make_unique<TStationShutdown>(std::move(parts));

  // Only now: a box shown above (no scanner, or a driver's own while it was opened) runs a
  // message loop of its own, and a tick or a close must not reach a part not yet made.
  Started = true;
  ::SetTimer(Hwnd, kCheckTimerId, 500, nullptr);
  if (CloseAskedEarly)
    ::PostMessageA(Hwnd, WM_CLOSE, 0, 0);
}

TSaveThread::Options TfMain::WriterOptions() {
  TSaveThread::Options options;
  options.OnWriteFailed = [this](const std::string &fileName, const std::string &reason) {
    WriteFailed(fileName, reason);
  };
  options.OnStateChanged = [this] { ::PostMessageA(Hwnd, kWriterStateMessage, 0, 0); };
  options.ErrorBox = [this](const std::string &message) {
    try {
      ThreadErrors->Post(message);
    } catch (...) {
      // Out of memory on the writer thread: the box is missed, the writer goes on.
    }
  };
  options.WaitForRoom = [this](HANDLE spaceFreed) { return WaitForQueueRoom(spaceFreed); };
  options.UnsavedFolder = UnsavedFolder();
  options.Journal = Journal.get();
  options.WrapWriter = [this](TSaveThread::TPageWriter write) {
    TSideWriterOptions sides;
    sides.Write = std::move(write);
    sides.Written = [this](TSideWritten &&side) {
      try {
        SideNews->Post(std::move(side));
      } catch (...) {
        // Out of memory on the writer thread: the window misses one picture.
      }
    };
    sides.NotSetAside = [this](const std::string &why) {
      try {
        WriteFailures->Post(BlankSidesNotSetAsideText(why));
      } catch (...) {
        // Out of memory on the writer thread: the status line misses one report.
      }
    };
    return SideWriter(std::move(sides));
  };
  return options;
}

// The user's own, beside the unsaved folder: the journal names the user's pages and leads the start
// to remove files, which no other user may have a say in. What a crash left is settled aside (a
// folder it names may be a share that is away) and said once it is known; the window shows at once.
void TfMain::StartJournal() {
  const std::string local = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA);
  const std::string folder =
      local.empty() ? std::string() : IncludeTrailingPathDelimiter(local) + "Tovik\\TovikScan";
  if (!folder.empty())
    ForceDirectories(folder);
  Journal = std::make_unique<TPageJournal>(folder, [this](const std::string &problem) {
    if (problem.empty())
      return;
    try {
      WriteFailures->Post(JournalProblemText(problem));
    } catch (...) {
      // Out of memory on the writer thread: the status line misses one report.
    }
  });
  if (!Journal->OpenProblem().empty())
    SetStatus(JournalProblemText(Journal->OpenProblem()));
  const HWND window = Hwnd;
  Journal->SettleLeftByACrashAside([window] { ::PostMessageA(window, kPagesLostMessage, 0, 0); });
}

void TfMain::ShowPagesLostInACrash() {
  const std::vector<TJournalPage> &lost = Journal->LeftByACrash().NotWritten;
  if (lost.empty())
    return;
  SetStatus(PagesLostInACrashText(lost));
  const std::string title = ApplicationTitle();
  ::MessageBoxA(Hwnd, PagesLostInACrashBoxText(lost).c_str(), title.c_str(), MB_ICONWARNING | MB_OK);
}

// Where a person looks for files of their own, in a folder named after the station so that scans
// do not mix with other documents; never the machine-wide data folder, which every local user reads.
std::string TfMain::DefaultOutputFolder() const {
  const std::string documents = GetSpecialFolderPath(CSIDL_PERSONAL);
  return documents.empty() ? std::string() : IncludeTrailingPathDelimiter(documents) + "TovikScan";
}

// The user's own: pages kept at the end may be private, and the machine-wide data folder is
// readable by every local user.
std::string TfMain::UnsavedFolder() const {
  std::string local = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA);
  const std::string base = local.empty() ? DataDir : IncludeTrailingPathDelimiter(local) + "Tovik\\TovikScan";
  return IncludeTrailingPathDelimiter(base) + "Unsaved\\";
}

void TfMain::FormDestroy() {
  if (Settings) {
    Settings->WriteString(kSettingsKey, FolderToRemember());
    RememberToday();
  }
  Shutdown.reset();
  SaveThread.reset();
  Journal.reset(); // every page is written or kept: nothing for the next start to report
  Settings.reset();
  Scanner.reset();
}

void TfMain::SetUpScanner() {
  TScannerLink::Events events;
  events.OnPage = [this](const TScannedPage &page) {
    CurrentBatch = page.Batch;
    Pages->HandlePage(page);
    PageHandled(page);
  };
  events.OnProgress = [this](int current, int total) { Progress->Show(current, total); };
  events.OnBetweenPages = [this] { BetweenPages(); };
  events.OnBatchEnd = [this] {
    const bool stopped = Batches->IsRunning() && Batches->Hold() == TBatchControl::THold::Stopped;
    Batches->Ended();
    if (stopped)
      SetStatus(IsTicked(cbAuto) ? BatchStoppedAutoWaitsText() : BatchStoppedText());
    SayBlankSides();
    Progress->ShowPending(); // the bar ends where the scan did
    Pages->EndBatch();
    ShowCounts();
    // The day's count survives a crash from here on; a batch ended by the close finds no store.
    if (Settings) {
      RememberToday();
      Settings->WriteNow();
    }
  };
  events.OnError = [this](int errorCode, int additional) {
    std::string status = "Twain Status:" + std::to_string(errorCode) + "," + std::to_string(additional);
    // The sheets from the failed one on are in the exit tray or the paper path: the batch ends
    // here, and waits for the person to put them back on the stack.
    if (IsPaperFault(additional) && Batches->IsRunning()) {
      Scanner->DropBatch();
      Batches->PaperFault();
      Counts.PaperFault();
      status += " " + PaperFaultText(additional, Counts.BatchPages() > 0 ? Pages->LastName() : std::string(),
                                     Pages->SheetOpen());
      ShowCounts();
    }
    SetStatus(status);
  };
  Scanner = CreateScannerLink(std::move(events));
  if (!Scanner->HasScanner()) {
    std::string title = ApplicationTitle();
    ::MessageBoxA(Hwnd, kNoScannerText, title.c_str(), MB_ICONINFORMATION | MB_OK);
  }
  ::EnableWindow(btGo, Scanner->HasScanner());
}

void TfMain::btGoClick() {
  if (Batches->IsRunning()) {
    StopClick();
    return;
  }
  if (!Started || !GiveOutputFolder())
    return;
  Batches->Resume();
  if (Scanner && Scanner->HasScanner() && !Shutdown->Closing())
    Scanner->Enable(IsTicked(cbShowConfig), false);
}

// The automatic start: a new batch whenever paper is in the feeder and none is running. No paper
// is fed while pages wait for their folder or the station closes.
void TfMain::tmCheckTimer() {
  RefreshStatus();
  Counts.TurnDay(DayKey()); // after midnight "Today" starts again, scanning or not
  ShowCounts();
  if (!IsTicked(cbAuto) || !Scanner || !Scanner->HasScanner())
    return;
  if (Scanner->Enabled() || Shutdown->Closing() || SaveThread->State().Waiting() || Batches->AutoHeld())
    return;
  if (Scanner->FeederLoadedText() == "1" && GiveOutputFolder())
    Scanner->Enable(false, false);
}

// The folder is checked before anything is bound for it: one that is refused leaves the pages
// where they wait and config.ini as it is.
bool TfMain::GiveOutputFolder() {
  if (!Started)
    return false;
  const std::string folder = OutputFolderText();
  const TFolderCheck check = CheckFolder(folder, DriveLetterExists, IsTicked(cbBlankAside));
  if (!check.Taken) {
    SetStatus(FolderUnusableText(folder, check.Says));
    FolderSaid = true;
    return false;
  }
  GivenFolder = folder;
  const size_t sent = SaveThread->SetOutputFolder(GivenFolder);
  if (!check.Says.empty() || sent > 0 || FolderSaid) {
    SetStatus(!check.Says.empty() ? FolderNotThereText(folder, check.Says)
              : sent > 0          ? FolderTakenText(sent, GivenFolder)
                                  : std::string());
    FolderSaid = !check.Says.empty() || sent > 0;
  }
  RememberOutputFolder();
  return true;
}

// The field's folder when it would be taken, else the last one taken or remembered that is still a
// folder (never a file that took its place meanwhile).
std::string TfMain::FolderToRemember() const {
  for (const std::string &folder : {OutputFolderText(), GivenFolder, SavedFolder})
    if (CheckFolder(folder, nullptr, IsTicked(cbBlankAside)).Taken)
      return folder;
  return DefaultOutputFolder();
}

// Written when the person gives a folder, so that a file that cannot be written is said while
// the window is there to say it; written again at the end.
void TfMain::RememberOutputFolder() {
  if (GivenFolder == SavedFolder)
    return;
  Settings->WriteString(kSettingsKey, GivenFolder);
  if (Settings->WriteNow())
    SavedFolder = GivenFolder;
  else
    SetStatus(SettingsNotSavedText(SettingsFileName()));
}

void TfMain::QueuePage(std::unique_ptr<TSaveRec> rec) {
  // Decided when the page is scanned: ticking the box later does not reach pages already queued.
  rec->SetBlankAside = IsTicked(cbBlankAside);
  rec->Batch = CurrentBatch;
  SaveThread->QueuePage(std::move(rec));
  if (ScanHeldBack) {
    ScanHeldBack = false;
    RefreshStatus();
  }
}

// The queue is over its budget in the middle of a batch: the window keeps painting and says why
// the scan stands still, but runs no handler that could start or end anything. While the pages
// wait for their folder no room may ever come, and a person who closes the window or logs off
// must not wait for it: the page is taken over the budget and the batch ends between sheets,
// leaving the sheets not begun in the feeder; the close then runs as at any time.
bool TfMain::WaitForQueueRoom(HANDLE spaceFreed) {
  if (SaveThread->State().Waiting() || EndAsked()) {
    if (Scanner)
      Scanner->EndBatch();
    return false;
  }
  if (!ScanHeldBack) {
    ScanHeldBack = true;
    RefreshStatus();
  }
  WaitPainting(spaceFreed, 1000);
  return true;
}

// A close or the end of the session is asked, or already under way; or the batch was asked to end
// (a driver that pumps messages may have let a close in already).
bool TfMain::EndAsked() const {
  MSG asked;
  return (Shutdown && Shutdown->Closing()) || (Scanner && Scanner->EndingBatch()) ||
         ::PeekMessageA(&asked, Hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) ||
         ::PeekMessageA(&asked, Hwnd, WM_QUERYENDSESSION, WM_QUERYENDSESSION, PM_NOREMOVE) ||
         ::PeekMessageA(&asked, Hwnd, WM_ENDSESSION, WM_ENDSESSION, PM_NOREMOVE);
}

namespace {

// Opens the picker at the folder currently in the field.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data)
    ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

} // namespace

void TfMain::eDirBrowseClick() {
  std::string current = OutputFolderText();
  char displayName[MAX_PATH + 1] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = Hwnd;
  info.pszDisplayName = displayName;
  info.lpszTitle = "Output folder";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(current.c_str());
  win::UniqueCoTaskMem chosen(::SHBrowseForFolderA(&info));
  char path[MAX_PATH + 1] = {};
  if (chosen && ::SHGetPathFromIDListA(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path)) {
    SetOutputFolderText(path);
    GiveOutputFolder();
  }
}

// Enter in the folder field gives its folder; everything else is the field's own. The message
// loop's dialog manager would make Enter a command for a default button the window does not have:
// the field asks for the key itself.
LRESULT CALLBACK TfMain::FolderFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) {
  const MSG *key = reinterpret_cast<const MSG *>(lParam);
  if (message == WM_GETDLGCODE && key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN)
    return ::DefSubclassProc(field, message, wParam, lParam) | DLGC_WANTMESSAGE;
  if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == (message == WM_KEYDOWN ? VK_RETURN : '\r')) {
    if (message == WM_KEYDOWN)
      GuardedCall([self] { reinterpret_cast<TfMain *>(self)->GiveOutputFolder(); });
    return 0; // no beep for a key the field cannot take
  }
  return ::DefSubclassProc(field, message, wParam, lParam);
}

void TfMain::cbBlankAsideClick() {
  if (!Started)
    return;
  Settings->WriteString(kBlankAsideKey, IsTicked(cbBlankAside) ? "1" : "0");
  if (!Settings->WriteNow())
    SetStatus(SettingsNotSavedText(SettingsFileName()));
}

void TfMain::StopClick() {
  if (Batches->Stop() && Scanner)
    Scanner->EndBatch();
}

void TfMain::cbAutoClick() {
  if (IsTicked(cbAuto))
    Batches->Resume();
}

void TfMain::BetweenPages() {
  if (Batches->Running())
    Counts.BatchBegins();
  HandleWindowMessagesNow(Hwnd);
}

void TfMain::PageHandled(const TScannedPage &page) {
  Counts.Page(CurrentBatch, !Pages->BackSide);
  // Without the scanner's word on sides, a page its blank removal drops makes every later page
  // the other side: said once a batch, so that the person can turn it off.
  if (page.BlankPagesDropped && BlankDropWarned != page.Batch) {
    BlankDropWarned = page.Batch;
    SetStatus(ScannerDropsBlankPagesText());
  }
  ShowCounts(false);
}

std::string TfMain::DayKey() const {
  const SYSTEMTIME now = Clock();
  char text[16];
  std::snprintf(text, sizeof text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  return text;
}

void TfMain::ShowCounts(bool now) {
  if (!CountsLine)
    return;
  CountsLine->Set(Counts.Text(SaveThread ? SaveThread->QueuedCount() : 0));
  if (now)
    CountsLine->Paint();
}

void TfMain::RememberToday() {
  Settings->WriteString(kTodayDateKey, Counts.Day());
  Settings->WriteString(kTodayPagesKey, std::to_string(Counts.Today()));
}

// The pictures are painted when the window has time for it: never in the middle of a page.
void TfMain::TakeSideNews() {
  TSideNews::TNews news = SideNews ? SideNews->Take() : TSideNews::TNews();
  for (unsigned batch : news.BlankBatches)
    Counts.Blank(batch);
  Counts.Written(DayKey(), news.Written, news.Unsaved);
  if (!news.BlankBatches.empty())
    SayBlankSides();
  if (Pictures.Take(news))
    InvalidatePictures();
  ShowCounts();
}

std::string TfMain::SettingsFileName() const { return IncludeTrailingPathDelimiter(DataDir) + "config.ini"; }

void TfMain::WriteFailed(const std::string &fileName, const std::string &reason) {
  try {
    WriteFailures->Post(FailedPageText(reason, fileName, ++FailedPages));
  } catch (...) {
    // Out of memory on the writer thread: the status line misses one report.
  }
}

void TfMain::ShowWriteFailure() {
  std::string text = WriteFailures ? WriteFailures->Take() : std::string();
  if (!text.empty())
    SetStatus(text);
}

void TfMain::ShowThreadError() {
  std::string text = ThreadErrors ? ThreadErrors->Take() : std::string();
  if (!text.empty())
    ::MessageBoxA(Hwnd, text.c_str(), "Thread Error", MB_OK);
}

void TfMain::SetStatus(const std::string &text) {
  StatusMessage = text;
  RefreshStatus();
}

void TfMain::RefreshStatus() {
  std::string text;
  if (SaveThread) {
    const TWriterState state = SaveThread->State();
    text = WriterStatusText(state, Shutdown && Shutdown->Closing());
    if (text.empty() && ScanHeldBack)
      text = ScanHeldBackText(state.Pages, state.WritingFolder);
  }
  if (text.empty())
    text = StatusMessage;
  if (Status && text != Status->Text())
    Status->Show(text);
}

void TfMain::SayBlankSides() {
  if (Batches->IsRunning() || !(StatusMessage.empty() || StatusMessage == BlankSidesSaid))
    return;
  const std::string text = BlankSidesSetAsideText(Counts.BatchBlanks(), GivenFolder);
  if (text.empty())
    return;
  BlankSidesSaid = text;
  SetStatus(text);
}
