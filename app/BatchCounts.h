// What the window counts of the scanning: this batch's sheets, pages and blank sides set aside,
// and the day's pages written, which the settings keep across a restart.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>

class TBatchCounts {
public:
  // A batch began: its counts start at nothing until its first page says its number.
  void BatchBegins();
  // A double feed or a jam ended the batch.
  void PaperFault() { ++Faults; }
  // A page handed to the writer. A front starts a sheet, and so does a back whose front never
  // came.
  void Page(unsigned batch, bool back);
  // A side of `batch` was set aside as blank (the writer tells it, maybe after the next batch
  // began: it is counted in its own batch, never in the one shown then).
  void Blank(unsigned batch);
  // Pages settled on `day` ("yyyymmdd"): written into their folder, or kept only in the unsaved
  // folder, which the line says apart.
  void Written(const std::string &day, unsigned pages, unsigned unsaved);
  // The clock says `day`: a new day starts the day's counts again, scanning or not.
  void TurnDay(const std::string &day);
  // The day's count as the settings kept it.
  void SetToday(const std::string &day, unsigned pages);
  const std::string &Day() const { return TodayKey; }
  unsigned BatchPages() const { return Pages; }
  // Blank sides set aside of the batch shown.
  unsigned BatchBlanks() const;
  unsigned Today() const { return TodayPages; }

  // "This batch: 8 sheets, 16 pages, 3 blank   Today: 40 pages, 5 blank   Waiting: 2".
  std::string Text(size_t waiting) const;

private:
  bool AnyBatch = false;
  unsigned Batch = 0;
  unsigned Sheets = 0, Pages = 0, Faults = 0;
  bool Fresh = false;                    // begun, and no page yet
  std::map<unsigned, unsigned> BlanksOf; // by batch: the last few batches
  bool FrontLast = false;                // the batch's last page was a front
  std::string TodayKey;
  unsigned TodayPages = 0, TodayUnsaved = 0, TodayBlanks = 0;
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
