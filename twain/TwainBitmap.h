// The page object handed to OnTwainAcquire: owns the page for the duration of the handler's call;
// the layer destroys it, and the page with it, when the handler returns. A handler keeps a page
// by copying it, or, for a page that came as rows, by taking its section over (TakeSection).
//
// A page the source sent compressed (TWCP_JPEG) comes as the scanner's own JPEG bytes; its bitmap
// is decoded only when a handler asks for it.
#pragma once

#include "twain/PageSectionPool.h"
#include "twain/PageSide.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TTwainBitmap {
public:
  explicit TTwainBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  // A memory transfer's page in a section made from `description`, which can be taken over.
  TTwainBitmap(HBITMAP section, TPageSectionPool::TDescription description)
      : bitmap_(section), description_(std::move(description)) {}
  TTwainBitmap(std::vector<uint8_t> jpeg, LONG xPelsPerMeter, LONG yPelsPerMeter)
      : jpeg_(std::move(jpeg)), xPelsPerMeter_(xPelsPerMeter), yPelsPerMeter_(yPelsPerMeter) {}
  TTwainBitmap(const TTwainBitmap &) = delete;
  TTwainBitmap &operator=(const TTwainBitmap &) = delete;

  // The page's bitmap; for a JPEG page decoded on the first call (null when it cannot be).
  HBITMAP Handle();
  // The layer takes the page's bitmap back once the handler has returned, to serve the next page.
  win::UniqueBitmap TakeBack() { return std::move(bitmap_); }
  // The page's section for good, so that nothing needs to be copied: the handle Handle() gave
  // stays valid while the returned owner lives (Handle() itself then gives null), and the section
  // goes back to the pool when the owner is destroyed. Empty, and the page unchanged, when the
  // page is not in a section that can be taken.
  TPooledSection TakeSection();
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
  TPageSectionPool::TDescription description_; // empty: not a pool's section
  std::vector<uint8_t> jpeg_;
  LONG xPelsPerMeter_ = 0;
  LONG yPelsPerMeter_ = 0;
};

// The page's section as a shared owner, for a taker that knows nothing of the layer; null when
// it cannot be taken.
std::shared_ptr<void> TakePageSection(TTwainBitmap &page);
