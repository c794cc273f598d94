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

// The label that shows the counts. A batch runs inside one message, so the label is painted by
// hand: with the progress bar's paints (which are few and timed), never once per page or row.
class TCountsLine {
public:
  explicit TCountsLine(HWND label) : Label(label) {}
  // The text to show at the next Paint.
  void Set(const std::string &text) { Wanted = text; }
  // Shows and paints the text when it changed.
  void Paint();

private:
  HWND Label;
  std::string Wanted, Shown;
};
