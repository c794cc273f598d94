#include "app/WindowScale.h"

#include "win/Owners.h"

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI *)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window))
      return dpi;
  }
  win::WindowDC screen(nullptr);
  return screen ? static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY)) : kDesignDpi;
}
