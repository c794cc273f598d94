#include "twain/TwainBatch.h"

#include "twain/KestraTwain.h"
#include "twain/TwainSource.h"

TTwainBatch::TTwainBatch(TTwainSource &source) : source_(source), manager_(*source.Owner()) {
  manager_.BatchStarted(this);
}

TTwainBatch::~TTwainBatch() { manager_.BatchEnded(this); }

bool TTwainBatch::EndRequested() const { return endRequested_ || manager_.EndRequested(); }
