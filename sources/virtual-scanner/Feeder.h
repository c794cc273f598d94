// The sheet feeder and the batch in progress: which page is current, how many pages are pending,
// what stays in the feeder after a cancel or a jam. Pure bookkeeping, no TWAIN or Windows.
//
// Pages are numbered from 1 since the source was opened, both sides counted; a sheet leaves the
// feeder when its front side becomes the current page.
#pragma once

#include <vector>

namespace vscan {

struct Scenario;

class Feeder {
public:
  void Load(const Scenario &scenario);

  // Sheets waiting in the feeder; an empty feeder is refilled while the scenario has refills left.
  int SheetsInFeeder();
  bool Loaded() { return SheetsInFeeder() > 0; }

  // Takes a batch (the whole feeder or the scenario's batch size) and pulls its first sheet.
  // False when the feeder is empty.
  bool StartBatch();
  bool InBatch() const { return inBatch_; }

  int Page() const { return page_; }
  int Side() const { return side_; }
  // Number of the current sheet, counted from 1 since the source was opened (jammed ones too).
  int Sheet() const { return sheet_; }
  // Pages of the batch not yet ended, the current one included: both sides of every sheet.
  int Pending() const;

  // Ends the current page and moves to the next one; returns the pages still pending.
  int EndPage();
  // Drops the rest of the batch; sheets not yet pulled stay in the feeder.
  void Reset();
  // No more sheets are pulled: the batch ends with the sheets already in the paper path.
  void StopFeeder() {
    batchSheetsLeft_ = batchSheetsLeft_ < pathAhead_ ? batchSheetsLeft_ : pathAhead_;
    stopped_ = true;
  }
  // The feeder was stopped in this batch: no more paper is waited for.
  bool Stopped() const { return stopped_; }
  // Whether the pages the scenario lists as blank are dropped (the scanner's blank-page removal).
  void DropBlankPages(bool drop) { dropping_ = drop; }
  // The current sheet jammed: the batch ends with the current page, the sheet is lost.
  void Jam() { jammed_ = true; }
  // A paper fault from `sheet` on (a double feed, a jam the person clears): when the batch ends
  // (at once, with endBatch, else when the application resets it), that sheet and every later one
  // that left the feeder are put back on the stack, as the person does.
  void PaperFault(int sheet, bool endBatch) {
    faultSheet_ = sheet;
    jammed_ = jammed_ || endBatch;
  }

private:
  // Moves to the next page of the batch; false when the batch has none.
  bool NextPage();
  bool Dropped(int page) const;

  int sheets_ = 0;
  int sides_ = 2;
  int perBatch_ = 0;
  int refillSheets_ = 0;
  int refillsLeft_ = 0;
  std::vector<int> dropped_;
  bool dropping_ = true;
  int pathAhead_ = 0; // sheets pulled after the current one

  bool inBatch_ = false;
  bool jammed_ = false;
  bool stopped_ = false;
  int faultSheet_ = 0;      // the first sheet to put back when the batch ends
  int batchSheetsLeft_ = 0; // reserved for the batch, not yet pulled
  int page_ = 0;
  int side_ = 0;
  int sheet_ = 0;
};

} // namespace vscan
