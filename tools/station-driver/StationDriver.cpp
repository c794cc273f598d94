#include "tools/station-driver/StationDriver.h"

#include "app/ControlIds.h"
#include "win/Owners.h"

#include <fstream>
#include <sstream>

namespace e2e {

bool FileExists(const std::string &path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> FilesIn(const std::string &folder, const std::string &pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  win::FileSearch search((folder + "\\" + pattern).c_str(), entry);
  if (!search)
    return names;
  do
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(entry.cFileName);
  while (search.Next(entry));
  return names;
}

std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/')
    path = "Z:" + path;
  for (char &c : path)
    if (c == '/')
      c = '\\';
  return path;
}

StationDriver::StationDriver(std::string exePath) : exePath_(std::move(exePath)) {}

StationDriver::~StationDriver() {
  if (!process_)
    return;
  if (!WaitForExit(0)) {
    for (HWND box : MessageBoxes())
      PressOk(box);
    if (!Close(kWaitMs))
      ::TerminateProcess(process_.get(), 1);
  }
}

namespace {

// Sets variables for the lifetime of the guard; the child inherits them at creation.
class ScopedEnvironment {
public:
  explicit ScopedEnvironment(const StationDriver::Environment &environment) {
    for (const auto &[name, value] : environment) {
      char old[32768];
      DWORD length = ::GetEnvironmentVariableA(name.c_str(), old, sizeof old);
      saved_.push_back({name, length ? std::string(old, length) : std::string(), length != 0});
      ::SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
  }
  ~ScopedEnvironment() {
    for (const auto &s : saved_)
      ::SetEnvironmentVariableA(s.name.c_str(), s.existed ? s.value.c_str() : nullptr);
  }

private:
  struct Saved {
    std::string name, value;
    bool existed;
  };
  std::vector<Saved> saved_;
};

struct ProcessWindows {
  DWORD processId;
  const char *className; // nullptr: any class
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  auto *search = reinterpret_cast<ProcessWindows *>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  char cls[64] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  if (owner == search->processId && (!search->className || lstrcmpA(cls, search->className) == 0))
    search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const char *className) {
  ProcessWindows search{processId, className, {}};
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

} // namespace

bool StationDriver::Start(const Environment &environment) {
  ScopedEnvironment scoped(environment);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + exePath_ + "\"";
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessA(exePath_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
    return false;
  win::UniqueHandle thread(started.hThread);
  process_.reset(started.hProcess);
  processId_ = started.dwProcessId;
  return true;
}

HWND StationDriver::WaitForWindow(DWORD timeoutMs) {
  WaitFor(
      [&] {
        for (HWND w : TopLevelWindows(processId_, station::kMainWindowClass))
          if (WindowText(w) == station::kMainWindowCaption)
            window_ = w;
        return window_ != nullptr || WaitForExit(0);
      },
      timeoutMs);
  return window_;
}

bool StationDriver::WaitUntilShown(DWORD timeoutMs) {
  if (!WaitForWindow(timeoutMs) || !WaitFor([&] { return ::IsWindowVisible(window_) != FALSE; }, timeoutMs))
    return false;
  DWORD_PTR ignored;
  return ::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored) != 0;
}

HWND StationDriver::Control(int id) const { return ::GetDlgItem(window_, id); }

std::string StationDriver::WindowText(HWND window) {
  char text[4096] = {};
  LRESULT length = ::SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return std::string(text, static_cast<size_t>(length));
}

std::string StationDriver::Text(int id) const { return WindowText(Control(id)); }

void StationDriver::SetText(int id, const std::string &text) const {
  ::SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Posted, not sent: a click may open a modal dialog, which would hold a sent message.
void StationDriver::Click(int id) const { ::PostMessageA(Control(id), BM_CLICK, 0, 0); }

bool StationDriver::RunTimerTick(unsigned timerId) const {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(window_, WM_TIMER, timerId, 0, SMTO_NORMAL, kWaitMs, &result) != 0;
}

bool StationDriver::IsEnabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }

bool StationDriver::IsTicked(int id) const {
  return ::SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<HWND> StationDriver::MessageBoxes() const { return TopLevelWindows(processId_, "#32770"); }

HWND StationDriver::WaitForMessageBox(DWORD timeoutMs) const {
  HWND box = nullptr;
  WaitFor(
      [&] {
        // A box is ready once shown: its controls exist and hold their texts by then.
        for (HWND candidate : MessageBoxes())
          if (::IsWindowVisible(candidate) && ::GetDlgItem(candidate, IDOK))
            box = candidate;
        return box != nullptr;
      },
      timeoutMs);
  return box;
}

// The text of a message box is the static control with ID 0xFFFF.
std::string StationDriver::MessageBoxText(HWND box) { return WindowText(::GetDlgItem(box, 0xFFFF)); }

void StationDriver::PressOk(HWND box) {
  ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
}

HWND StationDriver::WaitForWindowTitled(const std::string &caption, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        ProcessWindows search{processId_, nullptr, {}};
        ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
        for (HWND w : search.found)
          if (::IsWindowVisible(w) && WindowText(w) == caption)
            found = w;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

void StationDriver::ClickButton(HWND window, int id) {
  ::PostMessageA(::GetDlgItem(window, id), BM_CLICK, 0, 0);
}

bool StationDriver::Close(DWORD timeoutMs) {
  if (window_)
    ::PostMessageA(window_, WM_CLOSE, 0, 0);
  return WaitForExit(timeoutMs);
}

bool StationDriver::WaitForExit(DWORD timeoutMs) {
  return process_ && ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD StationDriver::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

} // namespace e2e
