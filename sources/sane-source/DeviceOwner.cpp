#include "sources/sane-source/DeviceOwner.h"

#include "sources/sane-source/SaneValues.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

namespace sanesrc {

struct DeviceOwner::Shared {
  std::mutex lock;
  std::condition_variable wake;
  // Each item: the calls on the device, then what tells the source they are done (run once the
  // device is let go, so that a process ending as soon as it is told finds the device idle).
  std::deque<std::pair<std::function<void()>, std::function<void()>>> work;
  bool closing = false;
  int pending = 0; // pages and cancels given to the owner and not yet done
  SaneDevice device;
};

namespace {

// What the owner's thread holds: the device's state, and a reference to this module, so that a
// source manager that unloads the source after closing it leaves the code in place until the
// owner has closed the device.
struct OwnerStart {
  std::shared_ptr<DeviceOwner::Shared> shared;
  HMODULE module = nullptr;
};

void RunOwner(DeviceOwner::Shared &shared);

// The owner's loop: its work in order, then the close. Nothing escapes the thread's entry.
DWORD WINAPI OwnerThread(void *parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<OwnerStart> start(static_cast<OwnerStart *>(parameter));
    module = start->module;
    RunOwner(*start->shared);
  }
  if (module)
    ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

void RunOwner(DeviceOwner::Shared &shared) {
  for (;;) {
    std::pair<std::function<void()>, std::function<void()>> next;
    {
      std::unique_lock<std::mutex> hold(shared.lock);
      shared.wake.wait(hold, [&] { return shared.closing || !shared.work.empty(); });
      if (shared.work.empty())
        break;
      next = std::move(shared.work.front());
      shared.work.pop_front();
    }
    try {
      std::lock_guard<std::mutex> calling(shared.device.CallLock());
      next.first();
    } catch (...) {
      // A work item reports its own outcome; the owner goes on with the next.
    }
    try {
      if (next.second)
        next.second();
    } catch (...) {
    }
  }
  try {
    std::lock_guard<std::mutex> calling(shared.device.CallLock());
    shared.device.CloseNow();
  } catch (...) {
  }
}

// The owners' threads that may still run, so that a later open can wait for them.
struct OwnerThreads {
  std::mutex lock;
  std::vector<win::UniqueHandle> running;
};
OwnerThreads &Owners() {
  static OwnerThreads *threads = new OwnerThreads; // never destroyed: see SaneDevice.cpp's SaneState
  return *threads;
}

void Remember(HANDLE thread) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
    return;
  win::UniqueHandle held(copy);
  OwnerThreads &owners = Owners();
  std::lock_guard<std::mutex> hold(owners.lock);
  owners.running.push_back(std::move(held));
}

void Queue(DeviceOwner::Shared &shared, std::function<void()> work, std::function<void()> then = nullptr) {
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.work.emplace_back(std::move(work), std::move(then));
  }
  shared.wake.notify_one();
}

} // namespace

PageJob::PageJob() : readEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PageResult &PageJob::Wait() {
  if (readEvent_)
    ::WaitForSingleObject(readEvent_.get(), INFINITE);
  return result_;
}

int DeviceOwner::Open(const std::string &name, std::unique_ptr<DeviceOwner> &owner) {
  auto shared = std::make_shared<Shared>();
  auto parameter = std::make_unique<OwnerStart>();
  parameter->shared = shared;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&OwnerThread),
                       &parameter->module);
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &OwnerThread, parameter.get(), 0, nullptr));
  if (!thread) {
    win::UniqueLibrary unpinned(parameter->module);
    return int(SaneStatus::NoMem);
  }
  parameter.release(); // the thread's now
  Remember(thread.get());
  owner.reset(new DeviceOwner(shared));
  int status = int(SaneStatus::IoError);
  owner->Run([&](SaneDevice &device) { status = device.Open(name); });
  if (status != int(SaneStatus::Good))
    owner.reset();
  return status;
}

bool DeviceOwner::WaitForEarlierOwners(DWORD boundMs) {
  OwnerThreads &owners = Owners();
  std::lock_guard<std::mutex> hold(owners.lock);
  const DWORD start = ::GetTickCount();
  auto &running = owners.running;
  for (auto it = running.begin(); it != running.end();) {
    const DWORD spent = ::GetTickCount() - start;
    if (::WaitForSingleObject(it->get(), spent < boundMs ? boundMs - spent : 0) != WAIT_OBJECT_0)
      return false;
    it = running.erase(it);
  }
  return true;
}

DeviceOwner::~DeviceOwner() {
  {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->closing = true;
  }
  shared_->wake.notify_one();
}

void DeviceOwner::Run(const std::function<void(SaneDevice &)> &work) {
  win::UniqueHandle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!done)
    throw std::bad_alloc();
  Shared &shared = *shared_;
  const HANDLE signal = done.get();
  Queue(
      shared,
      [&shared, &work] {
        try {
          work(shared.device);
        } catch (...) {
        }
      },
      [signal] { ::SetEvent(signal); });
  ::WaitForSingleObject(signal, INFINITE);
}

bool DeviceOwner::Busy() const {
  std::lock_guard<std::mutex> hold(shared_->lock);
  return shared_->pending > 0;
}

std::shared_ptr<PageJob> DeviceOwner::ReadPage(std::function<void()> done) {
  auto page = std::make_shared<PageJob>();
  page->done_ = std::move(done);
  Shared &shared = *shared_;
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    ++shared.pending;
  }
  Queue(
      shared,
      [&shared, page] {
        try {
          page->result_ = shared.device.ReadPage(&page->startAnswer_, &page->cancelled_);
        } catch (const std::bad_alloc &) {
          page->result_ = PageResult{};
          page->result_.status = int(SaneStatus::NoMem);
        } catch (...) {
          page->result_ = PageResult{};
          page->result_.status = int(SaneStatus::IoError);
        }
      },
      [&shared, page] {
        page->finished_ = true;
        ::SetEvent(page->readEvent_.get());
        {
          std::lock_guard<std::mutex> hold(shared.lock);
          --shared.pending;
        }
        try {
          if (page->done_)
            page->done_();
        } catch (...) {
          // The source then learns of the page when it asks for it.
        }
      });
  return page;
}

void DeviceOwner::Cancel(const std::shared_ptr<PageJob> &page) {
  if (page)
    page->cancelled_ = true;
  Shared &shared = *shared_;
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    ++shared.pending;
  }
  Queue(shared, [&shared] {
    shared.device.Cancel();
    std::lock_guard<std::mutex> hold(shared.lock);
    --shared.pending;
  });
}

} // namespace sanesrc
