#include "twain/TwainBitmap.h"

#include "twain/JpegDecode.h"

#include <cstring>

HBITMAP TTwainBitmap::Handle() {
  if (!bitmap_ && !jpeg_.empty())
    bitmap_.reset(DecodeJpegPage(jpeg_.data(), jpeg_.size(), xPelsPerMeter_, yPelsPerMeter_));
  return bitmap_.get();
}

TPooledSection TTwainBitmap::TakeSection() {
  if (!bitmap_ || description_.size() < sizeof(BITMAPINFOHEADER))
    return TPooledSection();
  BITMAPINFOHEADER header;
  std::memcpy(&header, description_.data(), sizeof header);
  // Rows bottom-up in a depth a JPEG holds as it is: what a taker can use without a copy.
  if (header.biHeight <= 0 || header.biCompression != BI_RGB ||
      (header.biBitCount != 8 && header.biBitCount != 24))
    return TPooledSection();
  return TPooledSection(std::move(bitmap_), std::move(description_));
}

std::shared_ptr<void> TakePageSection(TTwainBitmap &page) {
  TPooledSection section = page.TakeSection();
  if (!section)
    return nullptr;
  return std::make_shared<TPooledSection>(std::move(section));
}
