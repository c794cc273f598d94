// A window of the benchmark with a real progress control, sized like the station's bar.
#pragma once

#include "win/Owners.h"

#include <windows.h>

class TProgressWindow {
public:
  TProgressWindow();
  HWND Bar() const { return BarHandle; }

private:
  win::UniqueWindow Frame;
  HWND BarHandle = nullptr; // child of Frame, destroyed with it
};
