// The background writer: pages queued on the user-interface thread are written to disk,
// one at a time and in arrival order, on a thread of their own.
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

// The station's writer: a bitmap page encoded as JPEG through FreeImage, or the scanner's JPEG
// bytes as they are; false (with a reason) when the page could not be written.
bool SavePage(TSaveRec &rec, std::string &reason);

// Why a page could not be written, in words for the status line.
std::string SaveFailureReason(const TSaveRec &rec);

class TSaveThread {
public:
  // Called on the writer thread when a page could not be written (file name, reason).
  using TWriteFailedEvent = std::function<void(const std::string &fileName, const std::string &reason)>;
  // Writes one page; false (with a reason) when it could not. The default saves through FreeImage.
  using TPageWriter = std::function<bool(TSaveRec &rec, std::string &reason)>;
  // Shows an exception's message raised while writing; the default is the "Thread Error" box.
  using TErrorBox = std::function<void(const std::string &message)>;

  struct Options {
    TWriteFailedEvent OnWriteFailed;
    size_t BudgetBytes = kQueueBudgetBytes;
    TPageWriter Writer;          // empty: save through FreeImage
    TErrorBox ErrorBox;          // empty: the "Thread Error" box
    DWORD WakeIntervalMs = 1000; // the writer looks at the queue at least this often
  };

  explicit TSaveThread(TWriteFailedEvent onWriteFailed = {});
  explicit TSaveThread(Options options);
  // Writes every page still queued, then ends the thread.
  ~TSaveThread();
  TSaveThread(const TSaveThread &) = delete;
  TSaveThread &operator=(const TSaveThread &) = delete;

  // Takes ownership of a filled record. Waits while the queued pixels exceed the budget.
  void QueuePage(std::unique_ptr<TSaveRec> rec);

  size_t QueuedCount();
  size_t QueuedBytes();
  // Largest number of bytes that waited in the queue at once.
  size_t PeakQueuedBytes();

private:
  static DWORD WINAPI ThreadEntry(void *self);
  void Run();
  void RunPass();
  bool WriteOnePage();

  Options Opts;
  size_t Bytes = 0;
  size_t PeakBytes = 0;
  volatile LONG Terminated = 0;
  TSaveRecs Queue;
  win::UniqueHandle Signal;     // auto-reset: wakes the writer
  win::UniqueHandle SpaceFreed; // auto-reset: wakes a QueuePage waiting for room
  win::UniqueHandle Thread;
};
