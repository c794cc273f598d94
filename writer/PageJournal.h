// The station's record of the pages it holds in memory, so that a crash, a power cut or a killed
// process cannot lose a page without a word: one short line when a page is queued, before each
// name is claimed for it on disk and when it is written or put aside, each handed to the system
// before the call returns and flushed to the disk within a second. It lives in the user's own
// folder; a normal end removes it, and the next start reads what a crash left.
#pragma once

#include "win/Owners.h"

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// A page that was queued and never written: its name as queued and when ("yyyymmddhhmmsszzz").
struct TJournalPage {
  std::string FileName;
  std::string QueuedAt;
  std::string Claim; // the name last claimed for it; empty when none was
};

struct TJournalReading {
  std::vector<TJournalPage> NotWritten; // in the order they were queued
  // Names whose ".partial" file may be left: claimed for a page not written, or for a sheet's back.
  std::vector<std::string> Claims;
};

// Only the station's own page names, whole: "Scan" + 17 digits + F or B + ".jpg", in a folder
// given from a drive or "\\server\share", with no ".." and nothing a name cannot hold.
bool IsStationPagePath(const std::string &path);

// Reads journal bytes a piece at a time, however long the journal, up to its last whole line (a
// line cut by a power cut is not there). Only lines the station writes, naming its own pages, are
// taken: a claim counts in a folder one of the journal's pages used; anything else is passed over.
class TJournalReader {
public:
  void Feed(const char *bytes, size_t size);
  TJournalReading Result() const;

private:
  struct TOpenPage {
    TJournalPage Page;
    bool Settled = false;
  };
  void TakeLine(const std::string &line);

  std::string Cut; // the start of a line whose end has not come yet
  bool Skipping = false;
  std::vector<TOpenPage> Pages;
  std::map<unsigned, size_t> Open;              // page number → its place in Pages
  std::set<std::string> Folders;                // by FolderKey: folders the pages used
  std::map<std::string, unsigned> ClaimedNames; // name → the page that claimed it last
};

// The whole reading of a journal's bytes.
TJournalReading ReadJournal(const char *bytes, size_t size);

// What the start does on disk with a crash's leftovers; tests record it.
struct TJournalDisk {
  std::function<bool(const std::string &path)> HoldsFile; // a file stands under the name
  std::function<void(const std::string &path)> Remove;
};
TJournalDisk SystemDisk();

// Pages whose name holds their file were written whatever the journal says; then every claimed
// name's ".partial" file goes (one held by a running station cannot).
void SettleOnDisk(TJournalReading &reading, const TJournalDisk &disk);

class TPageJournal {
public:
  // Told, from the thread that appended, when a line could not be written and why ("" when
  // lines go through again).
  using TProblem = std::function<void(const std::string &reason)>;

  // Starts an empty journal of its own in the folder, and holds the journals that stations gone
  // without a normal end left there (a running station's is in use and left alone) for
  // SettleLeftByACrash.
  TPageJournal(const std::string &folder, TProblem problem);
  // A normal end: every page was written or put aside, and nothing is left to report.
  ~TPageJournal();
  TPageJournal(const TPageJournal &) = delete;
  TPageJournal &operator=(const TPageJournal &) = delete;

  // Reads the held journals, names their pages not on disk, removes their leftovers, then the
  // journals themselves, so that no page is named at two starts. Slow when a folder is away.
  void SettleLeftByACrash(const TJournalDisk &disk = SystemDisk());
  // The same on a thread of its own; done() is called there when LeftByACrash() is ready.
  void SettleLeftByACrashAside(std::function<void()> done);
  const TJournalReading &LeftByACrash() const { return Left; }
  // Why the journal could not be started; empty when it was.
  const std::string &OpenProblem() const { return NotOpen; }

  // Any thread. Returns the page's number for the lines that follow.
  unsigned Queued(const std::string &fileName);
  // Before the name's claim is made: for the page, or 0 for a sheet's back claimed with its front.
  void Claimed(unsigned page, const std::string &path);
  void Written(unsigned page);
  void PutAside(unsigned page); // it will never be written (refused, or kept nowhere)

private:
  struct TLeftJournal {
    std::string Path;
    win::UniqueFile File;
  };
  static DWORD WINAPI FlushEntry(void *self);
  static DWORD WINAPI SettleEntry(void *self);
  void FlushWhileOpen();
  void ReadLeftJournals(const TJournalDisk &disk);
  void ForgetLeftJournals();
  void Append(const std::string &line);

  TProblem Problem;
  TJournalReading Left;
  std::vector<TLeftJournal> LeftJournals;
  std::function<void()> Settled;
  std::string NotOpen;
  std::string Path;
  win::UniqueFile File{nullptr};
  win::CriticalSection Guard;
  unsigned LastPage = 0;
  std::set<std::string> FoldersNoted; // by FolderKey, under Guard
  bool Failing = false;
  volatile LONG Unflushed = 0;
  win::UniqueHandle Stop;     // manual-reset: the flusher ends
  win::UniqueHandle Flusher;  // flushes the last lines within a second, even when no line follows
  win::UniqueHandle Settling; // SettleLeftByACrashAside's thread
};
