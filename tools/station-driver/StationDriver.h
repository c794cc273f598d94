// Drives TovikScan.exe from outside, as a person at the screen would: start it, find its
// window, read and type into its controls, click, answer its message boxes, close it.
#pragma once

#include "win/Owners.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

constexpr DWORD kWaitMs = 30000; // generous: a cold Wine start can be slow

// Waits until condition() holds or timeoutMs passes; true when it held.
template <typename Condition> bool WaitFor(Condition condition, DWORD timeoutMs = kWaitMs) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start > timeoutMs)
      return false;
    ::Sleep(50);
  }
  return true;
}

bool FileExists(const std::string &path);
// A path Wine's programs can open: a Unix path is reached through drive Z:.
std::string WindowsPath(std::string path);
bool FolderExists(const std::string &path);
std::string ReadFileText(const std::string &path);
// Names of the files (not folders) in a folder that match a pattern such as "Scan*.jpg".
std::vector<std::string> FilesIn(const std::string &folder, const std::string &pattern = "*");

class StationDriver {
public:
  // Variables set for the station's process only (for instance for the scanner it loads).
  using Environment = std::vector<std::pair<std::string, std::string>>;

  explicit StationDriver(std::string exePath);
  // A station still running is closed, and ended if it does not close.
  ~StationDriver();
  StationDriver(const StationDriver &) = delete;
  StationDriver &operator=(const StationDriver &) = delete;

  bool Start(const Environment &environment = {});
  // The main window of this process, once it exists (it may still be hidden).
  HWND WaitForWindow(DWORD timeoutMs = kWaitMs);
  // True once the main window is shown and has handled every message sent before.
  bool WaitUntilShown(DWORD timeoutMs = kWaitMs);
  HWND Window() const { return window_; }

  HWND Control(int id) const;
  std::string Text(int id) const;
  void SetText(int id, const std::string &text) const;
  void Click(int id) const;
  bool IsEnabled(int id) const;
  // Runs one tick of the window's timer now, as the timer would, and returns once it has run:
  // what a tick does (or does not do) is then there to see, whatever the machine's speed.
  bool RunTimerTick(unsigned timerId) const;
  bool IsTicked(int id) const;

  // Dialogs ("#32770") owned by the station's process: its message boxes.
  std::vector<HWND> MessageBoxes() const;
  HWND WaitForMessageBox(DWORD timeoutMs = kWaitMs) const;
  static std::string MessageBoxText(HWND box);
  static std::string WindowText(HWND window);
  static void PressOk(HWND box);

  // A visible top-level window of the station's process with this caption (for instance the
  // scanner driver's own dialog, which runs inside the station).
  HWND WaitForWindowTitled(const std::string &caption, DWORD timeoutMs = kWaitMs) const;
  // Clicks a button of any window, as the mouse would.
  static void ClickButton(HWND window, int id);

  // WM_CLOSE to the main window, then waits for the process to end; true when it did.
  bool Close(DWORD timeoutMs = kWaitMs);
  bool WaitForExit(DWORD timeoutMs = kWaitMs);
  DWORD ExitCode() const;
  DWORD ProcessId() const { return processId_; }

private:
  std::string exePath_;
  win::UniqueHandle process_;
  DWORD processId_ = 0;
  HWND window_ = nullptr;
};

} // namespace e2e
