// The station's record of the pages it holds in memory, so that a crash, a power cut or a killed
// process cannot lose a page without a word: one short line when a page is queued, when a name is
// claimed for it on disk and when it is written or put aside, each handed to the system before
// the call returns and flushed to the disk within a second. A normal end removes the journal;
// the next start reads what a crash left.
#pragma once

#include "win/Owners.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A page that was queued and never written: its name as queued and when ("yyyymmddhhmmsszzz").
struct TJournalPage {
  std::string FileName;
  std::string QueuedAt;
};

struct TJournalReading {
  std::vector<TJournalPage> NotWritten; // in the order they were queued
  std::vector<std::string> Claims;      // names claimed on disk, written or not
};

// Reads a journal's bytes up to its last whole line (a line cut by a power cut is not there);
// lines of another form are passed over.
TJournalReading ReadJournal(const char *bytes, size_t size);

class TPageJournal {
public:
  // Told, from the thread that appended, when a line could not be written and why ("" when
  // lines go through again).
  using TProblem = std::function<void(const std::string &reason)>;

  // Reads the journals that stations gone without a normal end left in the folder (a running
  // station's is in use and left alone), removes their claimed names that stayed empty and their
  // ".partial" files, and starts a journal of its own there, empty.
  TPageJournal(const std::string &folder, TProblem problem);
  // A normal end: every page was written or put aside, and nothing is left to report.
  ~TPageJournal();
  TPageJournal(const TPageJournal &) = delete;
  TPageJournal &operator=(const TPageJournal &) = delete;

  const TJournalReading &LeftByACrash() const { return Left; }
  // Why the journal could not be started; empty when it was.
  const std::string &OpenProblem() const { return NotOpen; }

  // Any thread. Returns the page's number for the lines that follow.
  unsigned Queued(const std::string &fileName);
  void Claimed(const std::string &path);
  void Written(unsigned page);
  void PutAside(unsigned page); // it will never be written (refused, or kept nowhere)

private:
  void Append(const std::string &line);
  void TakeOver(const std::string &path, win::UniqueFile file);

  TProblem Problem;
  TJournalReading Left;
  std::string NotOpen;
  std::string Path;
  win::UniqueFile File{nullptr};
  win::CriticalSection Guard;
  unsigned LastPage = 0;
  bool Failing = false;
  DWORD FlushedAt = 0; // GetTickCount of the last flush to disk
};
