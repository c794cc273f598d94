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

struct TSaveRec {
  std::string FileName;
  TFreeWinBitmap Bitmap{FIT_BITMAP, 0, 0, 0};
};

class TSaveRecs {
public:
  void Add(std::unique_ptr<TSaveRec> rec);
  std::unique_ptr<TSaveRec> TakeFirst(); // null when empty
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

class TSaveThread {
public:
  // Called on the writer thread when a page could not be written (file name, reason).
  using TWriteFailedEvent = std::function<void(const std::string &fileName, const std::string &reason)>;

  explicit TSaveThread(TWriteFailedEvent onWriteFailed = {}, size_t budgetBytes = kQueueBudgetBytes);
  // Writes every page still queued, then ends the thread.
  ~TSaveThread();
  TSaveThread(const TSaveThread &) = delete;
  TSaveThread &operator=(const TSaveThread &) = delete;

  // Takes ownership of a filled record. Blocks while the queued pixels exceed the budget.
  void QueuePage(std::unique_ptr<TSaveRec> rec);

  size_t QueuedCount();
  size_t QueuedBytes();

private:
  static DWORD WINAPI ThreadEntry(void *self);
  void Run();
  bool WriteOnePage();

  TWriteFailedEvent OnWriteFailed;
  size_t Budget;
  size_t Bytes = 0;
  volatile LONG Terminated = 0;
  TSaveRecs Queue;
  win::UniqueHandle Signal;     // auto-reset: wakes the writer
  win::UniqueHandle SpaceFreed; // auto-reset: wakes a QueuePage waiting for room
  win::UniqueHandle Thread;
};
