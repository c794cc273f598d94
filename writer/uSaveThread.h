// The background writer: pages queued on the user-interface thread are written to disk,
// one at a time and in arrival order, on a thread of their own. A page whose folder or disk
// cannot take it now stays first in the queue and is tried again; none is dropped for that.
#pragma once

#include "win/Owners.h"
#include "writer/EncoderPool.h"
#include "writer/PageJournal.h"
#include "writer/SaveRec.h"
#include "writer/SheetNames.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The writer's own page write: the record's bitmap in the format its name picks, onto the name
// claimed for it when it has one.
TPageWriteResult WritePage(TSaveRec &rec);

// What the writer is doing, for the status line, the automatic start and the close.
struct TWriterState {
  size_t Pages = 0;          // not yet written, the one being written included
  std::string WaitReason;    // why pages wait for their folder; empty while writes go through
  std::string WaitFolder;    // the folder they wait for
  DWORD RetryAt = 0;         // when that folder is tried again (the writer's clock)
  std::string WritingFolder; // the folder of the page written last or now
  bool Finishing = false;    // asked to write everything now
  size_t Unsaved = 0;        // pages put into the unsaved folder while finishing
  size_t Lost = 0;           // pages that could be kept nowhere while finishing
  size_t Refused = 0;        // pages that could never be written (the encoder refused them)
  // Names of the lost and refused pages, oldest first: the sheets to scan again.
  std::vector<std::string> NotWritten;

  bool Waiting() const { return !WaitReason.empty(); }
  bool Finished() const { return Finishing && Pages == 0; }
};

class TSaveThread {
public:
  // Called on the writer thread when a page could not be written (file name, reason).
  using TWriteFailedEvent = std::function<void(const std::string &fileName, const std::string &reason)>;
  // Called on the writer thread when a wait for a folder begins, changes or ends, and for every
  // page while finishing.
  using TStateChangedEvent = std::function<void()>;
  // Writes one page. The default claims the page's name with its sheet's, then WritePage.
  using TPageWriter = std::function<TPageWriteResult(TSaveRec &rec)>;
  // Shows an exception's message raised while writing; the default is the "Thread Error" box.
  using TErrorBox = std::function<void(const std::string &message)>;
  // How QueuePage waits (for the given event, or a while) when the queue is over its budget;
  // false takes the page over the budget at once.
  using TWaitForRoom = std::function<bool(HANDLE spaceFreed)>;

  struct Options {
    TWriteFailedEvent OnWriteFailed;
    TStateChangedEvent OnStateChanged;
    size_t BudgetBytes = kQueueBudgetBytes;
    TPageWriter Writer; // empty: WritePage
    // Wraps the writer, the default's name claims included: the station's look at each side.
    std::function<TPageWriter(TPageWriter)> WrapWriter;
    TErrorBox ErrorBox;           // empty: the "Thread Error" box
    TWaitForRoom WaitForRoom;     // empty: a plain wait of up to a second
    DWORD WakeIntervalMs = 1000;  // the writer looks at the queue at least this often
    DWORD FirstRetryMs = 1000;    // a folder that cannot take a page is tried again after this,
    DWORD MaxRetryMs = 5000;      // then twice as long, up to this, until a page gets through
    std::function<DWORD()> Clock; // milliseconds for the retries; empty: GetTickCount
    // Where pages go, under their own names, that cannot reach their folder when the writer
    // finishes. Empty: such pages are reported as not saved.
    std::string UnsavedFolder;
    // Threads that encode queued pages ahead of the writer (0: the writer encodes alone).
    size_t Encoders = EncodersForThisMachine();
    // Where every page queued, claimed, written or put aside is noted; may be null.
    TPageJournal *Journal = nullptr;
  };

  explicit TSaveThread(TWriteFailedEvent onWriteFailed = {});
  explicit TSaveThread(Options options);
  // Finishes (see Finish), then ends the thread.
  ~TSaveThread();
  TSaveThread(const TSaveThread &) = delete;
  TSaveThread &operator=(const TSaveThread &) = delete;

  // Takes ownership of a filled record. Waits while the queued pixels exceed the budget.
  void QueuePage(std::unique_ptr<TSaveRec> rec);
  // No back comes for the front of this sheet (the batch ended, or the next page is a new sheet).
  void EndSheet(unsigned sheet) { Names.EndSheet(sheet); }

  // The person gave this folder. Pages queued with no folder in their name, and pages waiting
  // for a folder that cannot take them, go into it under their own names, in their order.
  // Returns how many pages were sent there.
  size_t SetOutputFolder(const std::string &folder);
  // Writes everything now, without waiting for a folder to come back: a page that cannot be
  // written gets one more try, then it and every page after it go into the unsaved folder.
  void Finish();
  // Back to waiting for folders after a Finish that was not followed by the end.
  void Resume();

  TWriterState State();
  size_t QueuedCount();
  size_t QueuedBytes();
  // Largest number of bytes that waited in the queue at once.
  size_t PeakQueuedBytes();

private:
  static DWORD WINAPI ThreadEntry(void *self);
  // A folder that could not take a page: its pages are held back until the retry is due, while
  // pages bound for other folders go on.
  struct TFolderWait {
    std::string Folder; // as the pages' names write it
    std::string Reason;
    DWORD DelayMs = 0;
    DWORD DueAt = 0;
  };

  void Run();
  // Writes one page if one may be written now; false when none may.
  bool RunPass();
  bool WriteOnePage();
  TPageWriteResult WriteUnsaved(TSaveRec &rec, const std::string &whyNotInItsFolder);
  void HoldForRetry(std::unique_ptr<TSaveRec> rec, const std::string &folder, const std::string &reason);
  void Settle(const TSaveRec &rec, const std::string &folder, const TPageWriteResult &result, bool diverted);
  void StateChanged();
  void Resized(size_t before, size_t after);
  DWORD Now() const;
  // Under the queue's lock:
  bool MayWriteNow(const std::string &folder, DWORD now) const;
  DWORD MsToNextRetry(DWORD now) const;
  bool SentToGivenFolder(TSaveRec &rec, const std::string &folder);
  void NoteNotWritten(const std::string &fileName);
  void JournalSettled(const TSaveRec &rec, bool written);
  std::string ShownWaitReason() const;
  void WaitOver(const std::string &folder);

  Options Opts;
  size_t Bytes = 0;
  size_t PeakBytes = 0;
  // Guarded by the queue's lock:
  size_t InFlight = 0;
  std::string WritingFolder;
  // Folders by FolderKey, so that one folder written two ways is one folder.
  std::map<std::string, TFolderWait> Waits;
  std::string ShownWait; // the folder whose wait the status line shows
  bool Finishing = false;
  std::set<std::string> Diverted; // finishing: folders whose pages go into the unsaved folder
  std::set<std::string> GivenUp;  // folders that waited when the person gave another
  size_t Unsaved = 0, Lost = 0, Refused = 0;
  std::vector<std::string> NotWritten;
  std::string OutputFolder;
  std::string OutputKey;

  TSheetNames Names;
  volatile LONG Terminated = 0;
  TSaveRecs Queue;
  win::UniqueHandle Signal;     // auto-reset: wakes the writer (a page, a folder, a finish, the end)
  win::UniqueHandle SpaceFreed; // auto-reset: wakes a QueuePage waiting for room
  win::UniqueHandle Thread;
  TEncoderPool Encoders; // last: its threads end first, before the queue and the events go
};
