// The background writer: pages queued on the user-interface thread are written to disk,
// one at a time and in arrival order, on a thread of their own. A page whose folder or disk
// cannot take it now stays first in the queue and is tried again; none is dropped for that.
#pragma once

#include "image/FreeBitmap.h"
#include "win/Owners.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One page to write: a bitmap to encode, or (when not empty) a JPEG file the scanner made, written
// as it is.
struct TSaveRec {
  std::string FileName;
  TFreeWinBitmap Bitmap{FIT_BITMAP, 0, 0, 0};
  std::vector<uint8_t> Jpeg;
};

// The queue between the two threads. Callers hold Lock/Unlock only around list operations.
class TSaveRecs {
public:
  void Add(std::unique_ptr<TSaveRec> rec) { Items.push_back(std::move(rec)); }
  // Puts a page that has to wait back where it was: first.
  void AddFirst(std::unique_ptr<TSaveRec> rec) { Items.push_front(std::move(rec)); }
  std::unique_ptr<TSaveRec> TakeFirst();
  size_t Count() const { return Items.size(); }
  void Lock() { Guard.Enter(); }
  void Unlock() { Guard.Leave(); }
  win::CriticalSection &GuardSection() { return Guard; }

private:
  std::deque<std::unique_ptr<TSaveRec>> Items;
  win::CriticalSection Guard;
};

// Pixels allowed to wait in the queue before QueuePage holds the scan back, so a slow disk
// slows the scan instead of exhausting a 32-bit address space.
constexpr size_t kQueueBudgetBytes = 512u * 1024u * 1024u;

// Bytes a page holds while it waits in the queue.
size_t PageBytes(const TSaveRec &rec);

// The writer's own page write: the record's bitmap in the format its name picks.
TPageWriteResult WritePage(TSaveRec &rec);

// What the writer is doing, for the status line, the automatic start and the close.
struct TWriterState {
  size_t Pages = 0;       // not yet written, the one being written included
  std::string WaitReason; // why the first page waits for its folder; empty while writes go through
  bool Finishing = false; // asked to write everything now
  size_t Unsaved = 0;     // pages put into the unsaved folder while finishing
  size_t Lost = 0;        // pages that could be kept nowhere while finishing

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
  // Writes one page. The default is WritePage.
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
    TPageWriter Writer;          // empty: WritePage
    TErrorBox ErrorBox;          // empty: the "Thread Error" box
    TWaitForRoom WaitForRoom;    // empty: a plain wait of up to a second
    DWORD WakeIntervalMs = 1000; // the writer looks at the queue at least this often
    DWORD FirstRetryMs = 1000;   // a waiting page is tried again after this, then twice as long...
    DWORD MaxRetryMs = 5000;     // ...up to this
    // Where pages go, under their own names, that cannot reach their folder when the writer
    // finishes. Empty: such pages are reported as not saved.
    std::string UnsavedFolder;
  };

  explicit TSaveThread(TWriteFailedEvent onWriteFailed = {});
  explicit TSaveThread(Options options);
  // Finishes (see Finish), then ends the thread.
  ~TSaveThread();
  TSaveThread(const TSaveThread &) = delete;
  TSaveThread &operator=(const TSaveThread &) = delete;

  // Takes ownership of a filled record. Waits while the queued pixels exceed the budget.
  void QueuePage(std::unique_ptr<TSaveRec> rec);

  // Pages queued with no folder in their name are written into this folder once it is given.
  void SetOutputFolder(const std::string &folder);
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
  void Run();
  void RunPass();
  bool WriteOnePage();
  TPageWriteResult WriteUnsaved(TSaveRec &rec, const std::string &whyNotInItsFolder);
  void HoldForRetry(std::unique_ptr<TSaveRec> rec, const std::string &reason);
  void Settle(const TSaveRec &rec, const TPageWriteResult &result, bool diverted);
  void StateChanged();

  Options Opts;
  size_t Bytes = 0;
  size_t PeakBytes = 0;
  // Guarded by the queue's lock:
  size_t InFlight = 0;
  std::string WaitReason;
  DWORD RetryDelayMs = 0;
  bool Finishing = false;
  bool Diverting = false; // finishing, and pages go into the unsaved folder
  size_t Unsaved = 0, Lost = 0;
  std::string OutputFolder;

  volatile LONG Terminated = 0;
  TSaveRecs Queue;
  win::UniqueHandle Signal;     // auto-reset: wakes the writer
  win::UniqueHandle SpaceFreed; // auto-reset: wakes a QueuePage waiting for room
  win::UniqueHandle RetryNow;   // auto-reset: ends a wait before a retry (finish, stop, a folder)
  win::UniqueHandle Thread;
};
