// The page object handed to OnTwainAcquire: owns the page for the duration of the handler's call;
// the layer destroys it, and the page with it, when the handler returns. A handler keeps a page
// only by copying it.
//
// A page the source sent compressed (TWCP_JPEG) comes as the scanner's own JPEG bytes; its bitmap
// is decoded only when a handler asks for it.
#pragma once

#include "twain/PageSide.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

class TTwainBitmap {
public:
  explicit TTwainBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  TTwainBitmap(std::vector<uint8_t> jpeg, LONG xPelsPerMeter, LONG yPelsPerMeter)
      : jpeg_(std::move(jpeg)), xPelsPerMeter_(xPelsPerMeter), yPelsPerMeter_(yPelsPerMeter) {}
  TTwainBitmap(const TTwainBitmap &) = delete;
  TTwainBitmap &operator=(const TTwainBitmap &) = delete;

  // The page's bitmap; for a JPEG page decoded on the first call (null when it cannot be).
  HBITMAP Handle();
  // The layer takes the page's bitmap back once the handler has returned, to serve the next page.
  win::UniqueBitmap TakeBack() { return std::move(bitmap_); }
  // The JPEG file the source sent; empty for a page sent as rows.
  const std::vector<uint8_t> &Jpeg() const { return jpeg_; }

  // The side the source reported after the transfer (unknown when it does not say).
  TPageSide Side = TPageSide::unknown;
  // Number of the batch (MSG_XFERREADY) since the manager was made, and the page's position in
  // it from 0, failed and cancelled pages counted.
  unsigned Batch = 0;
  unsigned IndexInBatch = 0;

private:
  win::UniqueBitmap bitmap_;
  std::vector<uint8_t> jpeg_;
  LONG xPelsPerMeter_ = 0;
  LONG yPelsPerMeter_ = 0;
};
