#include "writer/EncoderPool.h"

#include "writer/SideLook.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

// More would only hold more pages' bytes in a 32-bit address space: no scanner feeds that fast.
constexpr size_t kMaxEncoders = 7;

struct CloseMemoryFree {
  void operator()(FIMEMORY *memory) const { FreeImage_CloseMemory(memory); }
};
using UniqueMemory = std::unique_ptr<FIMEMORY, CloseMemoryFree>;

// Under the queue's lock. Only a bitmap bound for a JPEG file is encoded ahead; anything else
// (the scanner's own JPEG, another format, a depth JPEG cannot hold) goes to the writer as it is.
bool EncodesAhead(const TSaveRec &rec) {
  return rec.Jpeg.empty() && rec.Bitmap.HasImage() &&
         FreeImage_GetFIFFromFilename(rec.FileName.c_str()) == FIF_JPEG && rec.Bitmap.CanSaveAs(FIF_JPEG);
}

// Under the queue's lock. The scanner's own JPEG, when blank sides are set aside, is looked at
// ahead too: its one decode then costs another processor's time, not the writer's.
bool LooksAhead(const TSaveRec &rec) { return !rec.Jpeg.empty() && rec.SetBlankAside && !rec.Look.Done; }

// The bytes the writer's own save of the page would put into its file.
bool EncodeJpeg(FIBITMAP *image, std::vector<uint8_t> &bytes) {
  UniqueMemory memory(FreeImage_OpenMemory());
  BYTE *data = nullptr;
  DWORD size = 0;
  if (!memory || !FreeImage_SaveToMemory(FIF_JPEG, image, memory.get(), 0) ||
      !FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0)
    return false;
  bytes.assign(data, data + size);
  return true;
}

} // namespace

size_t EncodersForThisMachine() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 1 ? std::min<size_t>(info.dwNumberOfProcessors - 1, kMaxEncoders) : 0;
}

TEncoderPool::TEncoderPool(TSaveRecs &queue, size_t threads, TResized resized, TEncoded encoded)
    : Queue(queue), Resized(std::move(resized)), Encoded(std::move(encoded)),
      Work(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      Stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!Work || !Stop)
    return;                 // the writer encodes alone, as on a single processor
  Workers.reserve(threads); // a started thread's handle is never lost to a failed allocation
  for (size_t i = 0; i < threads; ++i) {
    win::UniqueHandle thread(::CreateThread(nullptr, 0, &TEncoderPool::ThreadEntry, this, 0, nullptr));
    if (!thread)
      break; // fewer encoders: the writer encodes what they do not
    Workers.push_back(std::move(thread));
  }
}

TEncoderPool::~TEncoderPool() {
  ::SetEvent(Stop.get());
  for (const auto &worker : Workers)
    ::WaitForSingleObject(worker.get(), INFINITE);
}

void TEncoderPool::Wake() { ::SetEvent(Work.get()); }

DWORD WINAPI TEncoderPool::ThreadEntry(void *self) {
  try {
    static_cast<TEncoderPool *>(self)->Run();
  } catch (...) {
    // Nothing may unwind out of a thread entry; the writer encodes what is left.
  }
  return 0;
}

void TEncoderPool::Run() {
  const HANDLE events[] = {Stop.get(), Work.get()};
  while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    while (::WaitForSingleObject(Stop.get(), 0) != WAIT_OBJECT_0 && EncodeOne())
      ;
}

// The first queued page is the writer's next, which it encodes itself: the pool works only behind
// it, once pages wait, so while the writer keeps up the scan has the other processors to itself.
TSaveRec *TEncoderPool::Claim() {
  // A page with a newer sheet queued behind it will not be the one the window shows: its look
  // makes no picture that costs a decode (the scanner's JPEG). A page being encoded is left alone.
  std::vector<unsigned> newerSheet; // the newest sheet queued after each page
  Queue.ForEach([&](TSaveRec &rec) { newerSheet.push_back(rec.Sheet); });
  unsigned newest = 0;
  for (size_t i = newerSheet.size(); i-- > 0;)
    newest = std::max(newest, std::exchange(newerSheet[i], newest));
  size_t at = 0;
  TSaveRec *claimed = nullptr;
  bool first = true;
  Queue.ForEach([&](TSaveRec &rec) {
    const bool older = newerSheet[at++] > rec.Sheet;
    if (older && rec.Encoding != TPageEncoding::Running)
      rec.Look.Superseded = true;
    const bool next = std::exchange(first, false);
    if (claimed || next || rec.Encoding != TPageEncoding::Waiting)
      return;
    const bool encodes = EncodesAhead(rec) || LooksAhead(rec);
    rec.Encoding = encodes ? TPageEncoding::Running : TPageEncoding::Settled;
    if (encodes)
      claimed = &rec;
  });
  return claimed;
}

bool TEncoderPool::EncodeOne() {
  TSaveRec *page = nullptr;
  size_t before = 0;
  {
    win::Lock lock(Queue.GuardSection());
    page = Claim();
    if (!page)
      return false;
    before = PageBytes(*page);
  }
  ::SetEvent(Work.get()); // another encoder may take the next page meanwhile
  // While Running the page stays queued and only this thread touches its pixels and bytes.
  std::vector<uint8_t> bytes;
  bool encoded = false;
  try {
    LookAtSide(*page); // the last moment its pixels are at hand
    encoded = page->Jpeg.empty() && EncodeJpeg(page->Bitmap.Image(), bytes);
  } catch (...) {
    encoded = false; // no memory for the bytes: the writer encodes the page as it always did
  }
  if (encoded) {
    page->Jpeg = std::move(bytes);
    page->Bitmap.ReleaseImage();
  }
  {
    win::Lock lock(Queue.GuardSection());
    if (encoded)
      Resized(before, PageBytes(*page));
    page->Encoding = TPageEncoding::Settled;
  }
  Encoded();
  return true;
}
