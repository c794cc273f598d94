// The progress bar's view of the page being scanned. Reports come once per transferred row, so
// a page brings thousands of them, all inside the transfer, while the message loop waits: each
// position shown is painted at once, and painting every row would cost more than the scan.
#pragma once

#include <windows.h>

#include <functional>

class TPageProgress {
public:
  using TClock = std::function<DWORD()>; // milliseconds, as GetTickCount

  // Positions are shown at most this often, and always the last one of a page.
  static constexpr DWORD kRepaintIntervalMs = 40;

  explicit TPageProgress(HWND bar, TClock clock = ::GetTickCount);

  // `current` rows of a page done; `total` is the bar's maximum (the last report of a page has
  // current = total + 1, so the bar ends full).
  void Show(int current, int total);

private:
  HWND Bar;
  TClock Clock;
  bool HaveRange = false;
  int Maximum = 0;
  DWORD LastShown = 0;
};
