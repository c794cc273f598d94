// What the window counts of the scanning: this batch's sheets, pages and blank sides set aside,
// and the day's pages, which the settings keep across a restart.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class TBatchCounts {
public:
  // A page handed to the writer. A front starts a sheet, and so does a back whose front never
  // came. `day` is the page's date as "yyyymmdd": a new day starts the day's count again.
  void Page(unsigned batch, bool back, const std::string &day);
  // A side of `batch` was set aside as blank (the writer tells it, maybe after the batch).
  void Blank(unsigned batch);
  // The day's count as the settings kept it.
  void SetToday(const std::string &day, unsigned pages);
  const std::string &Day() const { return TodayKey; }
  unsigned Today() const { return TodayPages; }

  // "This batch: 8 sheets, 16 pages, 3 blank  Today: 40 pages  Waiting: 2".
  std::string Text(size_t waiting) const;

private:
  bool AnyBatch = false;
  unsigned Batch = 0;
  unsigned Sheets = 0, Pages = 0, Blanks = 0;
  bool FrontLast = false; // the batch's last page was a front
  std::string TodayKey;
  unsigned TodayPages = 0;
};

// The label that shows the counts: set and painted at once when its text changed, since a batch
// runs inside one message and the counts must move while it does.
class TCountsLine {
public:
  explicit TCountsLine(HWND label) : Label(label) {}
  void Show(const std::string &text);

private:
  HWND Label;
  std::string Shown;
};
