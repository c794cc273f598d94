// The bitmap object handed to OnTwainAcquire: owns one device bitmap for the
// duration of the handler's call; the layer destroys it, and the bitmap with it, when the handler
// returns. A handler keeps a page only by copying it.
#pragma once

#include "win/Owners.h"

#include <windows.h>

class TTwainBitmap {
public:
  explicit TTwainBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  TTwainBitmap(const TTwainBitmap &) = delete;
  TTwainBitmap &operator=(const TTwainBitmap &) = delete;

  HBITMAP Handle() const { return bitmap_.get(); }

private:
  win::UniqueBitmap bitmap_;
};
