// The window is designed in pixels at 96 dpi; on a monitor of another scale every position, size
// and the font grow with the monitor's dpi, so that nothing is drawn blurred or clipped.
#pragma once

#include <windows.h>

constexpr UINT kDesignDpi = 96;

// Design pixels to the monitor's pixels at dpi (rounded to the nearest pixel).
inline int ScaledPixels(int designPixels, UINT dpi) {
  return ::MulDiv(designPixels, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

inline RECT ScaledRect(const RECT &design, UINT dpi) {
  return {ScaledPixels(design.left, dpi), ScaledPixels(design.top, dpi), ScaledPixels(design.right, dpi),
          ScaledPixels(design.bottom, dpi)};
}

// The dpi of the monitor the window is on: GetDpiForWindow where Windows has it (10, 1607 on),
// else the screen's, which older systems give every program.
UINT WindowDpi(HWND window);
