#include "app/ProgressBar.h"

#include <commctrl.h>

#include <utility>

TPageProgress::TPageProgress(HWND bar, TClock clock) : Bar(bar), Clock(std::move(clock)) {}

void TPageProgress::Show(int current, int total) {
  const DWORD now = Clock();
  const bool newRange = !HaveRange || total != Maximum;
  if (newRange) {
    ::SendMessageA(Bar, PBM_SETRANGE32, 0, total);
    HaveRange = true;
    Maximum = total;
  }
  const bool pageDone = current >= total;
  if (!newRange && !pageDone && now - LastShown < kRepaintIntervalMs)
    return;
  ::SendMessageA(Bar, PBM_SETPOS, current, 0);
  LastShown = now;
}
