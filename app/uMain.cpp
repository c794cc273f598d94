// The main window's start-up, shutdown and handlers.
#include "app/uMain.h"

#include "app/ControlIds.h"
#include "app/MessageLoop.h"
#include "app/uUtils.h"

#include <commctrl.h>
#include <shlobj.h>

#include <utility>

namespace {

constexpr const char *kSettingsKey = "eDir";
constexpr const char *kNoScannerText = "No compatible scanners found";

} // namespace

void TfMain::FormCreate() {
  DataDir = IncludeTrailingPathDelimiter(GetSpecialFolderPath(CSIDL_COMMON_APPDATA)) + "Tovik\\TovikScan";
  SetUpScanner();
  SetStatus("");
  ForceDirectories(DataDir);
  SetOutputFolderText(DataDir);
  WriteFailures = std::make_unique<TThreadText>(Hwnd, kWriteFailedMessage);
  SaveThread = std::make_unique<TSaveThread>(
      [this](const std::string &fileName, const std::string &reason) { WriteFailed(fileName, reason); });
  Settings = std::make_unique<TSettingsStore>([this] { return SettingsFileName(); }, "Main");
  SetOutputFolderText(Settings->ReadString(kSettingsKey, OutputFolderText()));
}

void TfMain::FormDestroy() {
  if (Settings)
    Settings->WriteString(kSettingsKey, OutputFolderText());
  SaveThread.reset();
  Settings.reset();
  Scanner.reset();
}

void TfMain::SetUpScanner() {
  TScannerLink::Events events;
  events.OnPage = [this](const TScannedPage &page) { Pages->HandlePage(page); };
  events.OnProgress = [this](int current, int total) { Progress->Show(current, total); };
  events.OnError = [this](int errorCode, int additional) {
    SetStatus("Twain Status:" + std::to_string(errorCode) + "," + std::to_string(additional));
  };
  Scanner = CreateScannerLink(std::move(events));
  if (!Scanner->HasScanner()) {
    std::string title = ApplicationTitle();
    ::MessageBoxA(Hwnd, kNoScannerText, title.c_str(), MB_ICONINFORMATION | MB_OK);
  }
  ::EnableWindow(btGo, Scanner->HasScanner());
}

void TfMain::btGoClick() {
  if (Scanner && Scanner->HasScanner())
    Scanner->Enable(IsTicked(cbShowConfig), false);
}

// The automatic start: a new batch whenever paper is in the feeder and none is running.
void TfMain::tmCheckTimer() {
  if (!IsTicked(cbAuto) || !Scanner || !Scanner->HasScanner())
    return;
  if (Scanner->Enabled())
    return;
  if (Scanner->FeederLoadedText() == "1")
    Scanner->Enable(false, false);
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
  if (chosen && ::SHGetPathFromIDListA(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path))
    SetOutputFolderText(path);
}

std::string TfMain::SettingsFileName() const { return IncludeTrailingPathDelimiter(DataDir) + "config.ini"; }

void TfMain::WriteFailed(const std::string &fileName, const std::string &reason) {
  try {
    WriteFailures->Post("Not saved: " + fileName + ": " + reason);
  } catch (...) {
    // Out of memory on the writer thread: the status line misses one report.
  }
}

void TfMain::ShowWriteFailure() {
  std::string text = WriteFailures ? WriteFailures->Take() : std::string();
  if (!text.empty())
    SetStatus(text);
}
