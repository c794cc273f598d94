#include "twain/TwainBitmap.h"

#include "twain/JpegDecode.h"

HBITMAP TTwainBitmap::Handle() {
  if (!bitmap_ && !jpeg_.empty())
    bitmap_.reset(DecodeJpegPage(jpeg_.data(), jpeg_.size(), xPelsPerMeter_, yPelsPerMeter_));
  return bitmap_.get();
}
