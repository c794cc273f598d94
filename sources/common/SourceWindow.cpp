#include "sources/common/SourceWindow.h"

#include "sources/common/Module.h"

namespace dscommon {
namespace {

constexpr char kClassName[] = "TovikDataSourceWindow";
constexpr int kScanId = IDOK;
constexpr int kCloseId = IDCANCEL;
constexpr UINT_PTR kAnswerTimer = 1;

} // namespace

bool SourceWindow::Show(const std::string &productName, const std::string &text, WindowAnswer automatic,
                        int delayMs, bool settingsOnly, std::function<void(WindowChoice)> onChoice) {
  Close();
  onChoice_ = std::move(onChoice);
  automatic_ = automatic;
  settingsOnly_ = settingsOnly;
  delayMs_ = delayMs;
  answered_ = false;
  if (!EnsureWindowClass(kClassName, &SourceWindow::WindowProc))
    return false;
  const std::string title = productName + " settings";
  window_.reset(::CreateWindowExA(WS_EX_DLGMODALFRAME, kClassName, title.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 340, 190, nullptr, nullptr, ThisModule(), this));
  if (!window_)
    return false;
  HINSTANCE module = ThisModule();
  text_ = ::CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 12, 12, 310, 80, window_.get(),
                            nullptr, module, nullptr);
  ::CreateWindowExA(0, "BUTTON", settingsOnly ? "OK" : "Scan",
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 140, 110, 85, 26, window_.get(),
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kScanId)), module, nullptr);
  ::CreateWindowExA(0, "BUTTON", settingsOnly ? "Cancel" : "Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 235,
                    110, 85, 26, window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseId)),
                    module, nullptr);
  if (automatic != WindowAnswer::Interactive)
    ::SetTimer(window_.get(), kAnswerTimer, static_cast<UINT>(delayMs > 0 ? delayMs : 1), nullptr);
  return true;
}

bool SourceWindow::ShowAgain(const std::string &text) {
  if (!window_)
    return false;
  answered_ = false;
  ::SetWindowTextA(text_, text.c_str());
  ::ShowWindow(window_.get(), SW_SHOW);
  if (automatic_ != WindowAnswer::Interactive) {
    automatic_ = WindowAnswer::Cancel; // the automatic person closes the window after the batch
    ::SetTimer(window_.get(), kAnswerTimer, static_cast<UINT>(delayMs_ > 0 ? delayMs_ : 1), nullptr);
  }
  return true;
}

void SourceWindow::Choose(WindowChoice choice) {
  if (answered_)
    return;
  answered_ = true;
  ::KillTimer(window_.get(), kAnswerTimer);
  ::ShowWindow(window_.get(), SW_HIDE);
  if (onChoice_)
    onChoice_(choice);
}

LRESULT CALLBACK SourceWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  auto *self = reinterpret_cast<SourceWindow *>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  try {
    const WindowChoice yes = self && self->settingsOnly_ ? WindowChoice::Ok : WindowChoice::Scan;
    switch (message) {
    case WM_COMMAND:
      if (self && LOWORD(wParam) == kScanId)
        self->Choose(yes);
      else if (self && LOWORD(wParam) == kCloseId)
        self->Choose(WindowChoice::Close);
      return 0;
    case WM_CLOSE:
      if (self)
        self->Choose(WindowChoice::Close);
      return 0;
    case WM_TIMER:
      if (self && wParam == kAnswerTimer)
        self->Choose(self->automatic_ == WindowAnswer::Scan ? yes : WindowChoice::Close);
      return 0;
    default:
      break;
    }
  } catch (...) {
    // The choice is lost; the application can still disable the source.
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace dscommon
