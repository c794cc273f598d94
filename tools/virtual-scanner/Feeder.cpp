#include "tools/virtual-scanner/Feeder.h"

#include "tools/virtual-scanner/Scenario.h"

#include <algorithm>

namespace vscan {

void Feeder::Load(const Scenario &scenario) {
  *this = Feeder();
  sheets_ = std::max(0, scenario.sheets);
  sides_ = std::clamp(scenario.sides, 1, 2);
  perBatch_ = std::max(0, scenario.sheetsPerBatch);
  refillSheets_ = sheets_;
  refillsLeft_ = std::max(0, scenario.refills);
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
  batchSheetsLeft_ = taken - 1;
  --sheets_;
  ++page_;
  ++sheet_;
  side_ = 0;
  return true;
}

int Feeder::Pending() const {
  if (!inBatch_)
    return 0;
  if (jammed_)
    return 1;
  return (sides_ - side_) + batchSheetsLeft_ * sides_;
}

int Feeder::EndPage() {
  if (!inBatch_)
    return 0;
  if (jammed_) {
    Reset();
    return 0;
  }
  if (side_ + 1 < sides_) {
    ++side_;
    ++page_;
  } else if (batchSheetsLeft_ > 0) {
    --batchSheetsLeft_;
    --sheets_;
    side_ = 0;
    ++page_;
    ++sheet_;
  } else {
    inBatch_ = false;
  }
  return Pending();
}

void Feeder::Reset() {
  inBatch_ = false;
  jammed_ = false;
  batchSheetsLeft_ = 0;
}

} // namespace vscan
