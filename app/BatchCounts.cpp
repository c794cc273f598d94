#include "app/BatchCounts.h"

namespace {

std::string Counted(size_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

void TBatchCounts::BatchBegins() {
  AnyBatch = Fresh = true;
  Batch = 0; // no batch's blank sides until its first page
  Sheets = Pages = Faults = 0;
  FrontLast = false;
}

void TBatchCounts::Page(unsigned batch, bool back) {
  if (Fresh) {
    Fresh = false;
    Batch = batch;
  } else if (!AnyBatch || batch != Batch) {
    AnyBatch = true;
    Batch = batch;
    Sheets = Pages = Faults = 0;
    FrontLast = false;
  }
  if (!back || !FrontLast)
    ++Sheets;
  FrontLast = !back;
  ++Pages;
}

void TBatchCounts::Blank(unsigned batch) {
  constexpr size_t kBatchesKept = 8;
  ++BlanksOf[batch];
  while (BlanksOf.size() > kBatchesKept)
    BlanksOf.erase(BlanksOf.begin());
  ++TodayBlanks;
}

void TBatchCounts::Written(const std::string &day, unsigned pages, unsigned unsaved) {
  TurnDay(day);
  TodayPages += pages;
  TodayUnsaved += unsaved;
}

void TBatchCounts::TurnDay(const std::string &day) {
  if (day == TodayKey)
    return;
  TodayKey = day;
  TodayPages = TodayUnsaved = TodayBlanks = 0;
}

void TBatchCounts::SetToday(const std::string &day, unsigned pages) {
  TodayKey = day;
  TodayPages = pages;
  TodayUnsaved = TodayBlanks = 0;
}

unsigned TBatchCounts::BatchBlanks() const {
  const auto blanks = BlanksOf.find(Batch);
  return AnyBatch && blanks != BlanksOf.end() ? blanks->second : 0;
}

std::string TBatchCounts::Text(size_t waiting) const {
  std::string text = "This batch: " + Counted(Sheets, "sheet", "sheets") + ", " +
                     Counted(Pages, "page", "pages") + ", " + std::to_string(BatchBlanks()) + " blank" +
                     (Faults > 0 ? ", " + Counted(Faults, "paper fault", "paper faults") : std::string()) +
                     "   Today: " + Counted(TodayPages, "page", "pages");
  if (TodayBlanks > 0)
    text += ", " + std::to_string(TodayBlanks) + " blank";
  if (TodayUnsaved > 0)
    text += " (" + std::to_string(TodayUnsaved) + " unsaved)";
  return text + "   Waiting: " + std::to_string(waiting);
}

void TCountsLine::Paint() {
  if (!Label || Wanted == Shown)
    return;
  Shown = Wanted;
  ::SetWindowTextA(Label, Shown.c_str());
  ::UpdateWindow(Label);
}
