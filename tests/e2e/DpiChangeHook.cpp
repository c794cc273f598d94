// Loaded into the station by a message hook, to move its window to a monitor of another dpi as
// Windows does: WM_DPICHANGED with the suggested frame, a pointer no other process can send.
#include <windows.h>

// A posted kDpiChangeRequest (wParam: the new dpi, lParam: the old one) becomes WM_DPICHANGED.
extern "C" __declspec(dllexport) LRESULT CALLBACK DpiChangeHook(int code, WPARAM removed, LPARAM lParam) {
  static const UINT request = ::RegisterWindowMessageA("TovikTestDpiChangeRequest");
  const MSG &message = *reinterpret_cast<const MSG *>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && message.message == request && message.lParam) {
    const int dpi = static_cast<int>(message.wParam), old = static_cast<int>(message.lParam);
    RECT frame;
    ::GetWindowRect(message.hwnd, &frame);
    RECT suggested = {frame.left, frame.top, frame.left + ::MulDiv(frame.right - frame.left, dpi, old),
                      frame.top + ::MulDiv(frame.bottom - frame.top, dpi, old)};
    ::SendMessageA(message.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  }
  return ::CallNextHookEx(nullptr, code, removed, lParam);
}
