// The progress bar's view of the page being scanned. Reports come once per transferred strip, so
// a page brings hundreds of them, all inside the transfer, while the message loop waits: each
// position shown is painted at once, and a paint costs as much as a page's strip copy.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>

// Which of a page's row reports are worth passing on to the bar, decided where they arrive: the
// bar (433 pixels) shows no difference worth a paint between rows closer than 1/kSteps of the
// page, so the rest are dropped before any handler runs or clock is read.
// The first report of a page, one every step and the page's last row always pass.
class TProgressGate {
public:
  static constexpr int kSteps = 256;

  bool Pass(int current, int total) {
    if (total == Total && current > Last && current < Next && current <= total)
      return false;
    Total = total;
    Last = current;
    Next = current + std::max(1, (total + kSteps) / kSteps); // (total + 1) / kSteps rounded up
    return true;
  }

private:
  int Total = -1;
  int Last = 0;
  int Next = 0;
};

class TPageProgress {
public:
  using TClock = std::function<DWORD()>; // milliseconds, as GetTickCount
  // Milliseconds in fractions, for timing a paint: a tick of GetTickCount is 10-16 ms on Windows,
  // and a paint that crossed one would hold the next position back for a second.
  using TPaintClock = std::function<double()>;

  // Positions are shown at most this often: ten a second look as smooth as more.
  static constexpr DWORD kRepaintIntervalMs = 100;
  // Pages that end this far apart are watched one by one: each end is shown at once, and the bar
  // stays full while the next sheet is fed. The ends of pages that come faster are shown like any
  // position, and the batch's last one by ShowPending.
  static constexpr DWORD kWatchedPageMs = 2 * kRepaintIntervalMs;
  // Each paint is timed: where painting is slow (a loaded machine, a remote screen) positions
  // within a page are shown less often, so that the bar takes at most about 1/kPaintShare of the
  // scan's time.
  static constexpr DWORD kPaintShare = 50;

  explicit TPageProgress(HWND bar, TClock clock = ::GetTickCount, TPaintClock paintClock = PerformanceMs);

  // The performance counter in milliseconds.
  static double PerformanceMs();

  // `current` rows of a page done; `total` is the bar's maximum (the last report of a page has
  // current = total + 1, so the bar ends full).
  void Show(int current, int total);
  // Shows the last position reported if it was held back: at a batch's end, so that the bar ends
  // where the scan did.
  void ShowPending();
  // Painted right after each position the bar shows, and timed with it (the counts line).
  void SetCompanion(std::function<void()> paint) { Companion = std::move(paint); }

private:
  HWND Bar;
  TClock Clock;
  TPaintClock PaintClock;
  bool HaveRange = false;
  int Maximum = 0;
  int Shown = -1;    // position last sent to the bar
  int Reported = -1; // last position reported
  DWORD LastShown = 0;
  DWORD LastPageEnd = 0; // when the last page's last report came
  bool HadPageEnd = false;
  double PaintMs = 0; // what the last position sent cost, timed finer than the clock's ticks
  std::function<void()> Companion;
};
