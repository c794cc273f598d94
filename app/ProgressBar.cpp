#include "app/ProgressBar.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

TPageProgress::TPageProgress(HWND bar, TClock clock) : Bar(bar), Clock(std::move(clock)) {}

void TPageProgress::Show(int current, int total) {
  const DWORD now = Clock();
  const bool newRange = !HaveRange || total != Maximum;
  // The bar shows nothing beyond its maximum: a page's last two reports look alike, and each
  // position sent costs a paint.
  const int position = std::min(current, total);
  if (!newRange && position == Shown && now - LastShown < kRepaintIntervalMs)
    return;
  if (newRange) {
    ::SendMessageA(Bar, PBM_SETRANGE32, 0, total);
    HaveRange = true;
    Maximum = total;
  }
  const bool pageDone = current >= total;
  const DWORD interval = std::max<DWORD>(kRepaintIntervalMs, kPaintShare * PaintMs);
  if (!newRange && !pageDone && now - LastShown < interval)
    return;
  ::SendMessageA(Bar, PBM_SETPOS, current, 0);
  Shown = position;
  LastShown = Clock();
  PaintMs = LastShown - now;
}
