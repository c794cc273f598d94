#include "twain/PageSectionKeeper.h"

#include <cstring>
#include <stdexcept>

TPageSectionKeeper::TPageSectionKeeper(TPageSectionPool &pool)
    : Pool(pool), Wanted(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      Stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!Wanted || !Stop)
    throw std::runtime_error("The page memory keeper could not be started: no event");
  Thread.reset(::CreateThread(nullptr, 0, &TPageSectionKeeper::ThreadEntry, this, CREATE_SUSPENDED, nullptr));
  if (!Thread)
    throw std::runtime_error("The page memory keeper could not be started");
  // Below the scan and the writer: while they keep the processors busy, a spare made late costs
  // only what the strip copy would have paid, and no page is written later for it.
  ::SetThreadPriority(Thread.get(), THREAD_PRIORITY_BELOW_NORMAL);
  Pool.NotifyWanted(Wanted.get());
  ::ResumeThread(Thread.get());
}

TPageSectionKeeper::~TPageSectionKeeper() {
  Pool.NotifyWanted(nullptr);
  ::SetEvent(Stop.get());
  ::WaitForSingleObject(Thread.get(), INFINITE);
}

DWORD WINAPI TPageSectionKeeper::ThreadEntry(LPVOID self) {
  try {
    static_cast<TPageSectionKeeper *>(self)->KeepSpares();
  } catch (...) {
    // Without spares every page's section is made where the page arrives, as before.
  }
  return 0;
}

void TPageSectionKeeper::KeepSpares() {
  const HANDLE events[] = {Stop.get(), Wanted.get()};
  while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    const TPageSectionPool::TDescription description = Pool.LastWanted();
    const uint64_t bytes = TPageSectionPool::PixelBytes(description);
    while (bytes > 0 && bytes <= kMaximumSpareBytes && ::WaitForSingleObject(Stop.get(), 0) == WAIT_TIMEOUT &&
           Pool.KeptCount(description) < kSpares) {
      void *bits = nullptr;
      win::UniqueBitmap spare(::CreateDIBSection(nullptr,
                                                 reinterpret_cast<const BITMAPINFO *>(description.data()),
                                                 DIB_RGB_COLORS, &bits, nullptr, 0));
      if (!spare || !bits)
        break;
      std::memset(bits, 0, static_cast<size_t>(bytes)); // mapped now, not under the strip copy
      Pool.Give(std::move(spare), description);
    }
  }
}
