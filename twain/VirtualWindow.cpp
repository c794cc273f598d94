#include "twain/VirtualWindow.h"

#include "twain/DecimalSeparator.h"
#include "twain/KestraTwain.h"
#include "twain/TwainSource.h"

#include <algorithm>
#include <vector>

namespace {

HINSTANCE ModuleInstance() { return ::GetModuleHandleA(nullptr); }

// The class stays registered from first use to the end of the program.
class TVirtualWindowClass {
public:
  TVirtualWindowClass() {
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = VirtualWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = ModuleInstance();
    windowClass.hIcon = nullptr;
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = "";
    windowClass.lpszClassName = kVirtualWindowClassName;
    ::RegisterClassA(&windowClass);
  }
  ~TVirtualWindowClass() { ::UnregisterClassA(kVirtualWindowClassName, ModuleInstance()); }
  TVirtualWindowClass(const TVirtualWindowClass &) = delete;
  TVirtualWindowClass &operator=(const TVirtualWindowClass &) = delete;
};

void EnsureClassRegistered() { static TVirtualWindowClass registration; }

std::exception_ptr &ParkedException() {
  static std::exception_ptr parked;
  return parked;
}

std::vector<TKestraTwain *> &Managers() {
  static std::vector<TKestraTwain *> managers;
  return managers;
}

void Park(std::exception_ptr failure) {
  // Parked for the message loop; the first one waits until it is taken.
  if (!ParkedException())
    ParkedException() = failure;
}

// Offers the message to the open and enabled sources in list order; true when one claimed it.
bool OfferToSources(TKestraTwain &manager, MSG &record) {
  int count = manager.SourceCount();
  for (int i = 0; i < count; ++i) {
    TTwainSource *source = manager.Source(i);
    if (source && source->Loaded() && source->Enabled() && source->ProcessEvent(record))
      return true; // the walk ends: handlers may have changed the list
  }
  return false;
}

} // namespace

HWND CreateVirtualWindow(TKestraTwain *manager) {
  EnsureClassRegistered();
  return ::CreateWindowExA(0, kVirtualWindowClassName, "Kestra Twain virtual window", 0, 10, 10, 100, 100,
                           nullptr, nullptr, ModuleInstance(), manager);
}

LRESULT CALLBACK VirtualWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const CREATESTRUCTA *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_SETTINGCHANGE)
    RefreshDecimalSeparator();
  TKestraTwain *manager = reinterpret_cast<TKestraTwain *>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (manager && message == kTwainIdleMessage) {
    try {
      manager->RunIdle();
    } catch (...) {
      Park(std::current_exception());
    }
    return 0;
  }
  if (manager && manager->LoadedSourceCount > 0) {
    try {
      MSG record = {};
      record.hwnd = window;
      record.message = message;
      record.wParam = wParam;
      record.lParam = lParam;
      ::GetCursorPos(&record.pt);
      if (OfferToSources(*manager, record))
        return 0;
    } catch (...) {
      Park(std::current_exception());
      return 0;
    }
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

std::exception_ptr TakeParkedTwainException() {
  std::exception_ptr parked = ParkedException();
  ParkedException() = nullptr;
  return parked;
}

void RethrowParkedTwainException() {
  if (std::exception_ptr parked = TakeParkedTwainException())
    std::rethrow_exception(parked);
}

void RegisterTwainManager(TKestraTwain *manager, bool alive) {
  std::vector<TKestraTwain *> &managers = Managers();
  managers.erase(std::remove(managers.begin(), managers.end(), manager), managers.end());
  if (alive)
    managers.push_back(manager);
}

bool OfferTwainMessage(MSG &message) {
  // A copy of the list: a handler may create or destroy managers.
  const std::vector<TKestraTwain *> managers = Managers();
  for (TKestraTwain *manager : managers) {
    const std::vector<TKestraTwain *> &alive = Managers();
    if (std::find(alive.begin(), alive.end(), manager) == alive.end() || manager->LoadedSourceCount <= 0)
      continue;
    try {
      if (OfferToSources(*manager, message))
        return true;
    } catch (...) {
      Park(std::current_exception());
      return true;
    }
  }
  return false;
}
