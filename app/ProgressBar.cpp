#include "app/ProgressBar.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

TPageProgress::TPageProgress(HWND bar, TClock clock, TPaintClock paintClock)
    : Bar(bar), Clock(std::move(clock)), PaintClock(std::move(paintClock)) {}

double TPageProgress::PerformanceMs() {
  LARGE_INTEGER count, frequency;
  if (!::QueryPerformanceCounter(&count) || !::QueryPerformanceFrequency(&frequency) ||
      frequency.QuadPart <= 0)
    return 0.0;
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void TPageProgress::Show(int current, int total) {
  const DWORD now = Clock();
  const bool newRange = !HaveRange || total != Maximum;
  // The bar shows nothing beyond its maximum: a page's last two reports look alike, and each
  // position sent costs a paint.
  const int position = std::min(current, total);
  Reported = position;
  const bool pageDone = current >= total;
  const bool watchedPageDone = pageDone && (!HadPageEnd || now - LastPageEnd >= kWatchedPageMs);
  if (pageDone) {
    HadPageEnd = true;
    LastPageEnd = now;
  }
  if (!newRange && position == Shown)
    return;
  if (newRange) {
    ::SendMessageA(Bar, PBM_SETRANGE32, 0, total);
    HaveRange = true;
    Maximum = total;
  }
  const DWORD interval = std::max<DWORD>(kRepaintIntervalMs, static_cast<DWORD>(kPaintShare * PaintMs));
  if (!newRange && !watchedPageDone && now - LastShown < interval)
    return;
  const double before = PaintClock();
  ::SendMessageA(Bar, PBM_SETPOS, position, 0);
  if (Companion)
    Companion();
  PaintMs = std::max(0.0, PaintClock() - before);
  Shown = position;
  LastShown = Clock();
}

void TPageProgress::ShowPending() {
  if (!HaveRange || Reported < 0 || Reported == Shown)
    return;
  ::SendMessageA(Bar, PBM_SETPOS, Reported, 0);
  if (Companion)
    Companion();
  Shown = Reported;
  LastShown = Clock();
}
