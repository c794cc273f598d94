// A window of the benchmark with a real progress control, sized like the station's bar.
#pragma once

#include "win/Owners.h"

#include <windows.h>

class TProgressWindow {
public:
  TProgressWindow();
  HWND Bar() const { return BarHandle; }
  // A label like the station's counts line.
  HWND CountsLabel() const { return CountsHandle; }

  // Positions the bar was sent (PBM_SETPOS, each a paint) and the time spent in them, since the
  // last Reset.
  struct TPaints {
    int Count = 0;
    double Ms = 0;
  };
  static TPaints Paints();
  static void ResetPaints();

private:
  win::UniqueWindow Frame;
  HWND BarHandle = nullptr; // child of Frame, destroyed with it
  HWND CountsHandle = nullptr;
};
