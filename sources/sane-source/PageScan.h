// One page read from the device on a thread of its own, so that the application's thread never
// blocks in SANE while the source waits for paper; the owner is told by `done` (called on that
// thread) and takes the page with Wait.
#pragma once

#include "sources/sane-source/SaneDevice.h"
#include "win/Owners.h"

#include <atomic>
#include <functional>

namespace sanesrc {

class PageScan {
public:
  PageScan(SaneDevice &device, std::function<void()> done);
  // Waits for the thread: the owner cancels the device first when it does not want the page.
  ~PageScan();
  PageScan(const PageScan &) = delete;
  PageScan &operator=(const PageScan &) = delete;

  // True once the page is read (also while `done` runs).
  bool Finished() const { return finished_; }
  // The first sane_start's status once it returned (-1 before): whether a sheet came.
  int StartAnswer() const { return finished_ && startAnswer_ < 0 ? result_.status : int(startAnswer_); }
  // Blocks until the page is read.
  PageResult &Wait();

private:
  static DWORD WINAPI Run(void *self);

  SaneDevice &device_;
  std::function<void()> done_;
  PageResult result_;
  std::atomic<bool> finished_{false};
  std::atomic<int> startAnswer_{-1};
  win::UniqueHandle thread_;
};

} // namespace sanesrc
