#include "sources/common/Notifier.h"

#include "sources/common/Module.h"

namespace dscommon {
namespace {
constexpr char kClassName[] = "TovikDataSourceNotifier";
}

bool Notifier::Create(std::function<void(WPARAM)> onPosted) {
  onPosted_ = std::move(onPosted);
  if (window_)
    return true;
  if (!EnsureWindowClass(kClassName, &Notifier::WindowProc))
    return false;
  window_.reset(
      ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), this));
  return static_cast<bool>(window_);
}

bool Notifier::Post(WPARAM token) const {
  return window_ && ::PostMessageA(window_.get(), kPostedMessage, token, 0);
}

LRESULT CALLBACK Notifier::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kPostedMessage) {
    auto *self = reinterpret_cast<Notifier *>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    try {
      if (self && self->onPosted_)
        self->onPosted_(wParam);
    } catch (...) {
      // Nothing can be reported from here; the application simply gets no notification.
    }
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace dscommon
