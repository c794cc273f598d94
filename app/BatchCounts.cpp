#include "app/BatchCounts.h"

namespace {

std::string Counted(size_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

void TBatchCounts::Page(unsigned batch, bool back, const std::string &day) {
  if (!AnyBatch || batch != Batch) {
    AnyBatch = true;
    Batch = batch;
    Sheets = Pages = Blanks = 0;
    FrontLast = false;
  }
  if (!back || !FrontLast)
    ++Sheets;
  FrontLast = !back;
  ++Pages;
  if (day != TodayKey) {
    TodayKey = day;
    TodayPages = 0;
  }
  ++TodayPages;
}

void TBatchCounts::Blank(unsigned batch) {
  if (AnyBatch && batch == Batch)
    ++Blanks;
}

void TBatchCounts::SetToday(const std::string &day, unsigned pages) {
  TodayKey = day;
  TodayPages = pages;
}

std::string TBatchCounts::Text(size_t waiting) const {
  return "This batch: " + Counted(Sheets, "sheet", "sheets") + ", " + Counted(Pages, "page", "pages") + ", " +
         std::to_string(Blanks) + " blank   Today: " + Counted(TodayPages, "page", "pages") +
         "   Waiting: " + std::to_string(waiting);
}

void TCountsLine::Paint() {
  if (!Label || Wanted == Shown)
    return;
  Shown = Wanted;
  ::SetWindowTextA(Label, Shown.c_str());
  ::UpdateWindow(Label);
}
