// One thread owns each open SANE device, and every call on its handle is made there: SANE's net
// backend does not survive two threads on one handle (both read its one connection), and other
// backends may not either. The application's thread hands the owner work and never waits on a
// device that is busy: a cancel is recorded and made by the owner as soon as the call in progress
// returns, and a close is the owner's last work, after which it ends by itself.
#pragma once

#include "sources/sane-source/SaneDevice.h"
#include "win/Owners.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace sanesrc {

// One page read by the owner. `done` runs on the owner's thread once the page is in.
class PageJob {
public:
  PageJob();
  // True once the page is read (also while `done` runs).
  bool Finished() const { return finished_; }
  // The first sane_start's status once it returned (-1 before): whether a sheet came.
  int StartAnswer() const { return finished_ && startAnswer_ < 0 ? result_.status : int(startAnswer_); }
  // Blocks until the page is read.
  PageResult &Wait();

private:
  friend class DeviceOwner;
  PageResult result_;
  std::atomic<bool> finished_{false};
  std::atomic<int> startAnswer_{-1};
  std::atomic<bool> cancelled_{false};
  std::function<void()> done_;
  win::UniqueHandle readEvent_;
};

class DeviceOwner {
public:
  // Opens the device `name` on a new owner thread; a SANE status, and the owner when it is Good.
  static int Open(const std::string &name, std::unique_ptr<DeviceOwner> &owner);
  // Waits, at most `boundMs`, for the owners of devices closed earlier to finish: SANE's net backend
  // shares one connection among the handles of a host, so a new open must not talk on it while an
  // earlier owner still does. False when one is still busy (its device does not answer).
  static bool WaitForEarlierOwners(DWORD boundMs);
  // Leaves the close to the owner: returns at once, whatever the device is doing.
  ~DeviceOwner();
  DeviceOwner(const DeviceOwner &) = delete;
  DeviceOwner &operator=(const DeviceOwner &) = delete;

  // Runs `work` on the owner and waits for it (option reads and writes, quick on an idle device).
  void Run(const std::function<void(SaneDevice &)> &work);
  // True while the owner reads a page or finishes a cancel: what the device says now must wait.
  bool Busy() const;
  // Reads the next page; `done` is called on the owner's thread when it is in.
  std::shared_ptr<PageJob> ReadPage(std::function<void()> done);
  // The page is not wanted (or the batch is over): recorded now, sane_cancel made by the owner.
  void Cancel(const std::shared_ptr<PageJob> &page);

  struct Shared;

private:
  explicit DeviceOwner(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  std::shared_ptr<Shared> shared_;
};

} // namespace sanesrc
