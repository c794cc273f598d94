#include "sources/virtual-scanner/Feeder.h"

#include "sources/virtual-scanner/Scenario.h"

#include <algorithm>

namespace vscan {

void Feeder::Load(const Scenario &scenario) {
  *this = Feeder();
  sheets_ = std::max(0, scenario.sheets);
  sides_ = std::clamp(scenario.sides, 1, 2);
  perBatch_ = std::max(0, scenario.sheetsPerBatch);
  refillSheets_ = sheets_;
  refillsLeft_ = std::max(0, scenario.refills);
  dropped_ = scenario.droppedPages;
  pathAhead_ = std::max(0, scenario.paperPath - 1);
}

bool Feeder::Dropped(int page) const {
  return dropping_ && std::find(dropped_.begin(), dropped_.end(), page) != dropped_.end();
}

bool Feeder::NextPage() {
  if (side_ + 1 < sides_) {
    ++side_;
  } else if (batchSheetsLeft_ > 0) {
    --batchSheetsLeft_;
    --sheets_;
    side_ = 0;
    ++sheet_;
  } else {
    return false;
  }
  ++page_;
  return true;
}

int Feeder::SheetsInFeeder() {
  if (sheets_ == 0 && !inBatch_ && refillsLeft_ > 0 && refillSheets_ > 0) {
    sheets_ = refillSheets_;
    --refillsLeft_;
  }
  return sheets_;
}

bool Feeder::StartBatch() {
  if (inBatch_ || SheetsInFeeder() == 0)
    return false;
  const int taken = perBatch_ > 0 ? std::min(perBatch_, sheets_) : sheets_;
  inBatch_ = true;
  jammed_ = false;
  stopped_ = false;
  batchSheetsLeft_ = taken - 1;
  --sheets_;
  ++page_;
  ++sheet_;
  side_ = 0;
  // A blank page the scanner drops never becomes the current page.
  while (Dropped(page_))
    if (!NextPage()) {
      inBatch_ = false;
      return false;
    }
  return true;
}

int Feeder::Pending() const {
  if (!inBatch_)
    return 0;
  if (jammed_)
    return 1;
  const int pages = (sides_ - side_) + batchSheetsLeft_ * sides_;
  int dropped = 0;
  for (int page = page_ + 1; page < page_ + pages; ++page)
    dropped += Dropped(page) ? 1 : 0;
  return pages - dropped;
}

int Feeder::EndPage() {
  if (!inBatch_)
    return 0;
  if (jammed_) {
    Reset();
    return 0;
  }
  bool more = NextPage();
  while (more && Dropped(page_))
    more = NextPage();
  if (!more)
    inBatch_ = false;
  return Pending();
}

void Feeder::Reset() {
  inBatch_ = false;
  jammed_ = false;
  batchSheetsLeft_ = 0;
  if (faultSheet_ > 0 && faultSheet_ <= sheet_)
    sheets_ += sheet_ - faultSheet_ + 1;
  faultSheet_ = 0;
}

} // namespace vscan
