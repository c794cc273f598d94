#include "bench/ProgressWindow.h"

#include <commctrl.h>

TProgressWindow::TProgressWindow() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  Frame.reset(::CreateWindowExA(0, "STATIC", "pipeline_bench", WS_OVERLAPPEDWINDOW, 0, 0, 480, 120, nullptr,
                                nullptr, ::GetModuleHandleA(nullptr), nullptr));
  if (!Frame)
    return;
  BarHandle = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 16, 16, 433, 17, Frame.get(),
                                nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::SendMessageA(BarHandle, PBM_SETRANGE32, 0, 100);
  ::ShowWindow(Frame.get(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(Frame.get());
}
