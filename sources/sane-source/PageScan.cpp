#include "sources/sane-source/PageScan.h"

#include "sources/sane-source/SaneValues.h"

#include <new>

namespace sanesrc {

PageScan::PageScan(SaneDevice &device, std::function<void()> done) : device_(device), done_(std::move(done)) {
  thread_.reset(::CreateThread(nullptr, 0, &PageScan::Run, this, 0, nullptr));
  if (!thread_) {
    result_.status = int(SaneStatus::NoMem);
    finished_ = true;
    if (done_)
      done_();
  }
}

PageScan::~PageScan() { Wait(); }

PageResult &PageScan::Wait() {
  if (thread_)
    ::WaitForSingleObject(thread_.get(), INFINITE);
  return result_;
}

DWORD WINAPI PageScan::Run(void *self) {
  auto *scan = static_cast<PageScan *>(self);
  try {
    scan->result_ = scan->device_.ReadPage(&scan->startAnswer_);
  } catch (const std::bad_alloc &) {
    scan->result_ = PageResult{};
    scan->result_.status = int(SaneStatus::NoMem);
  } catch (...) {
    scan->result_ = PageResult{};
    scan->result_.status = int(SaneStatus::IoError);
  }
  scan->finished_ = true;
  try {
    if (scan->done_)
      scan->done_();
  } catch (...) {
    // The owner then learns of the page when it asks for it.
  }
  return 0;
}

} // namespace sanesrc
