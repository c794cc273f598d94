#include "bench/ProgressWindow.h"

#include "bench/BenchClock.h"

#include <commctrl.h>

namespace {

WNDPROC BarProcedure = nullptr;
TProgressWindow::TPaints Counted;

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != PBM_SETPOS)
    return ::CallWindowProcA(BarProcedure, window, message, wParam, lParam);
  TStopwatch watch;
  const LRESULT result = ::CallWindowProcA(BarProcedure, window, message, wParam, lParam);
  Counted.Ms += watch.ElapsedMs();
  ++Counted.Count;
  return result;
}

} // namespace

TProgressWindow::TPaints TProgressWindow::Paints() { return Counted; }

void TProgressWindow::ResetPaints() { Counted = TPaints(); }

TProgressWindow::TProgressWindow() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  Frame.reset(::CreateWindowExA(0, "STATIC", "pipeline_bench", WS_OVERLAPPEDWINDOW, 0, 0, 480, 120, nullptr,
                                nullptr, ::GetModuleHandleA(nullptr), nullptr));
  if (!Frame)
    return;
  BarHandle = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 16, 16, 433, 17, Frame.get(),
                                nullptr, ::GetModuleHandleA(nullptr), nullptr);
  BarProcedure = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(BarHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountPaints)));
  ::SendMessageA(BarHandle, PBM_SETRANGE32, 0, 100);
  CountsHandle = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 16, 48,
                                   433, 15, Frame.get(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::ShowWindow(Frame.get(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(Frame.get());
}
