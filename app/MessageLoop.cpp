#include "app/MessageLoop.h"

#include "app/ScannerLink.h"
#include "app/uUtils.h"
#include "win/Owners.h"

#include <deque>

namespace {

// The writer thread reports through its own box; the lock only makes a stray call safe.
win::CriticalSection &DeferredGuard() {
  static win::CriticalSection guard;
  return guard;
}

std::deque<std::string> &DeferredErrors() {
  static std::deque<std::string> errors;
  return errors;
}

} // namespace

std::string ErrorBoxText(const std::string &message) {
  if (!message.empty() && message.back() > '.')
    return message + '.';
  return message;
}

void DeferError(const std::string &message) {
  win::Lock lock(DeferredGuard());
  DeferredErrors().push_back(message);
}

bool TakeDeferredError(std::string &message) {
  win::Lock lock(DeferredGuard());
  if (DeferredErrors().empty())
    return false;
  message = std::move(DeferredErrors().front());
  DeferredErrors().pop_front();
  return true;
}

void ShowDeferredErrors(HWND owner) {
  std::string message;
  if (!TakeDeferredError(message))
    return;
  // A quit already asked for (a window destroyed on the way, or start-up that failed) would end
  // the box's own loop before anyone saw it: it waits until the boxes are answered.
  MSG quit = {};
  const bool quitting = ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  do {
    std::string text = ErrorBoxText(message);
    std::string title = ApplicationTitle();
    ::MessageBoxA(::IsWindow(owner) ? owner : nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  } while (TakeDeferredError(message));
  if (quitting)
    ::PostQuitMessage(static_cast<int>(quit.wParam));
}

namespace {

void Dispatch(HWND mainWindow, MSG &msg) {
  if (!::IsWindow(mainWindow) || !::IsDialogMessageA(mainWindow, &msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

} // namespace

void HandleWindowMessagesNow(HWND mainWindow) {
  constexpr int kMostMessages = 200;
  MSG msg = {};
  for (int i = 0; i < kMostMessages && ::IsWindow(mainWindow) &&
                  ::PeekMessageA(&msg, mainWindow, 0, 0, PM_REMOVE | PM_NOYIELD);
       ++i)
    Dispatch(mainWindow, msg);
}

int RunMessageLoop(HWND mainWindow) {
  MSG msg = {};
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (OfferScannerMessage(msg)) {
      // The scanner's own (a notification, its dialog's keys): handled there, not dispatched.
    } else {
      Dispatch(mainWindow, msg);
    }
    // A TWAIN notification's handler may have failed inside the layer's own window procedure.
    GuardedCall([] { RethrowScannerException(); });
    ShowDeferredErrors(mainWindow);
  }
  return static_cast<int>(msg.wParam);
}
