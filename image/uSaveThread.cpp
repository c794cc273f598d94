#include "image/uSaveThread.h"

#include <algorithm>
#include <stdexcept>

namespace {

void ShowThreadErrorBox(const std::string &message) {
  ::MessageBoxA(nullptr, message.c_str(), "Thread Error", MB_OK);
}

size_t NameStart(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? 0 : slash + 1;
}

std::string InFolder(const std::string &folder, const std::string &name) {
  const bool separated = folder.back() == '\\' || folder.back() == '/';
  return separated ? folder + name : folder + '\\' + name;
}

} // namespace

std::unique_ptr<TSaveRec> TSaveRecs::TakeFirst() {
  if (Items.empty())
    return nullptr;
  std::unique_ptr<TSaveRec> first = std::move(Items.front());
  Items.pop_front();
  return first;
}

size_t PageBytes(const TSaveRec &rec) {
  FIBITMAP *image = rec.Bitmap.Image();
  return rec.Jpeg.size() +
         (image ? static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image) : 0);
}

TPageWriteResult WritePage(TSaveRec &rec) {
  // The scanner's own JPEG file goes to disk as it is, by the same road as an encoded page.
  if (!rec.Jpeg.empty())
    return WritePageFile(
        rec.FileName, [&rec](TPageFileSink &sink) { return sink.Write(rec.Jpeg.data(), rec.Jpeg.size()); });
  return rec.Bitmap.WriteToFile(rec.FileName, 0);
}

namespace {
TSaveThread::Options WithFailureHandler(TSaveThread::TWriteFailedEvent onWriteFailed) {
  TSaveThread::Options options;
  options.OnWriteFailed = std::move(onWriteFailed);
  return options;
}
} // namespace

TSaveThread::TSaveThread(TWriteFailedEvent onWriteFailed)
    : TSaveThread(WithFailureHandler(std::move(onWriteFailed))) {}

TSaveThread::TSaveThread(Options options)
    : Opts(std::move(options)), Signal(::CreateEventA(nullptr, FALSE, FALSE, "")),
      SpaceFreed(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      RetryNow(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  if (!Opts.Writer)
    Opts.Writer = WritePage;
  if (!Opts.ErrorBox)
    Opts.ErrorBox = ShowThreadErrorBox;
  RetryDelayMs = Opts.FirstRetryMs;
  if (!Signal || !SpaceFreed || !RetryNow)
    throw std::runtime_error("The page writer could not be started: no event");
  // Created suspended so that it cannot run before every field exists.
  Thread.reset(::CreateThread(nullptr, 0, &TSaveThread::ThreadEntry, this, CREATE_SUSPENDED, nullptr));
  if (!Thread)
    throw std::runtime_error("The page writer could not be started");
  ::ResumeThread(Thread.get());
}

TSaveThread::~TSaveThread() {
  ::InterlockedExchange(&Terminated, 1);
  ::SetEvent(Signal.get());
  ::SetEvent(RetryNow.get());
  ::WaitForSingleObject(Thread.get(), INFINITE);
}

void TSaveThread::QueuePage(std::unique_ptr<TSaveRec> rec) {
  if (!rec)
    return;
  const size_t bytes = PageBytes(*rec);
  for (bool takeAnyway = false;;) {
    {
      win::Lock lock(Queue.GuardSection());
      // A page larger than the whole budget still goes through once the queue is empty.
      if (takeAnyway || Bytes == 0 || Bytes + bytes <= Opts.BudgetBytes) {
        Queue.Add(std::move(rec));
        Bytes += bytes;
        PeakBytes = std::max(PeakBytes, Bytes);
        break;
      }
    }
    if (Opts.WaitForRoom)
      takeAnyway = !Opts.WaitForRoom(SpaceFreed.get());
    else
      ::WaitForSingleObject(SpaceFreed.get(), 1000);
  }
  ::SetEvent(Signal.get());
}

void TSaveThread::SetOutputFolder(const std::string &folder) {
  {
    win::Lock lock(Queue.GuardSection());
    if (OutputFolder == folder)
      return;
    OutputFolder = folder;
  }
  ::SetEvent(RetryNow.get());
}

void TSaveThread::Finish() {
  {
    win::Lock lock(Queue.GuardSection());
    Finishing = true;
  }
  ::SetEvent(RetryNow.get());
  ::SetEvent(Signal.get());
}

void TSaveThread::Resume() {
  win::Lock lock(Queue.GuardSection());
  Finishing = false;
  Diverting = false;
}

TWriterState TSaveThread::State() {
  win::Lock lock(Queue.GuardSection());
  TWriterState state;
  state.Pages = Queue.Count() + InFlight;
  state.WaitReason = WaitReason;
  state.Finishing = Finishing;
  state.Unsaved = Unsaved;
  state.Lost = Lost;
  return state;
}

size_t TSaveThread::QueuedCount() {
  win::Lock lock(Queue.GuardSection());
  return Queue.Count();
}

size_t TSaveThread::QueuedBytes() {
  win::Lock lock(Queue.GuardSection());
  return Bytes;
}

size_t TSaveThread::PeakQueuedBytes() {
  win::Lock lock(Queue.GuardSection());
  return PeakBytes;
}

DWORD WINAPI TSaveThread::ThreadEntry(void *self) {
  try {
    static_cast<TSaveThread *>(self)->Run();
  } catch (...) {
    // Nothing may unwind out of a thread entry.
  }
  return 0;
}

void TSaveThread::Run() {
  while (!::InterlockedCompareExchange(&Terminated, 0, 0)) {
    ::WaitForSingleObject(Signal.get(), Opts.WakeIntervalMs);
    RunPass();
  }
  // Closing loses no page: whatever is still queued is written, or kept in the unsaved folder.
  {
    win::Lock lock(Queue.GuardSection());
    Finishing = true;
  }
  while (QueuedCount() > 0)
    RunPass();
}

void TSaveThread::RunPass() {
  try {
    WriteOnePage();
    win::Lock lock(Queue.GuardSection());
    if (Queue.Count() > 0)
      ::SetEvent(Signal.get());
  } catch (const std::exception &e) {
    // One page's failure must not stop the writer: every later page would stay unwritten.
    Opts.ErrorBox(e.what());
  } catch (...) {
    Opts.ErrorBox("Unknown error while writing a page");
  }
  win::Lock lock(Queue.GuardSection());
  InFlight = 0;
}

bool TSaveThread::WriteOnePage() {
  std::unique_ptr<TSaveRec> rec;
  bool finishing = false, diverting = false;
  {
    win::Lock lock(Queue.GuardSection());
    rec = Queue.TakeFirst();
    if (!rec)
      return false;
    Bytes -= PageBytes(*rec);
    InFlight = 1;
    finishing = Finishing;
    diverting = Diverting;
    // A page named while no folder was given goes into the folder given since.
    if (NameStart(rec->FileName) == 0 && !OutputFolder.empty())
      rec->FileName = InFolder(OutputFolder, rec->FileName);
  }
  ::SetEvent(SpaceFreed.get());

  TPageWriteResult result = diverting ? WriteUnsaved(*rec, std::string()) : Opts.Writer(*rec);
  if (result.Outcome == TPageWriteOutcome::Waiting && !diverting) {
    if (!finishing) {
      HoldForRetry(std::move(rec), result.Reason);
      return true;
    }
    // At the end nobody waits for the folder to come back: this page and every page after it
    // go where they are kept.
    {
      win::Lock lock(Queue.GuardSection());
      Diverting = true;
    }
    diverting = true;
    result = WriteUnsaved(*rec, result.Reason);
  }
  Settle(*rec, result, diverting);
  return true;
}

TPageWriteResult TSaveThread::WriteUnsaved(TSaveRec &rec, const std::string &whyNotInItsFolder) {
  if (Opts.UnsavedFolder.empty())
    return {TPageWriteOutcome::Waiting, whyNotInItsFolder.empty() ? "it was not written" : whyNotInItsFolder,
            std::string()};
  const std::string ownName = rec.FileName;
  rec.FileName = InFolder(Opts.UnsavedFolder, ownName.substr(NameStart(ownName)));
  TPageWriteResult result = Opts.Writer(rec);
  if (!result.Written())
    rec.FileName = ownName; // reported under the name the user knows
  return result;
}

void TSaveThread::HoldForRetry(std::unique_ptr<TSaveRec> rec, const std::string &reason) {
  DWORD delay;
  bool changed;
  {
    win::Lock lock(Queue.GuardSection());
    Bytes += PageBytes(*rec);
    Queue.AddFirst(std::move(rec));
    InFlight = 0;
    changed = WaitReason != reason;
    WaitReason = reason;
    delay = RetryDelayMs;
    RetryDelayMs = std::min(RetryDelayMs * 2, Opts.MaxRetryMs);
  }
  if (changed)
    StateChanged();
  ::WaitForSingleObject(RetryNow.get(), delay);
}

void TSaveThread::Settle(const TSaveRec &rec, const TPageWriteResult &result, bool diverted) {
  bool waited, finishing;
  {
    win::Lock lock(Queue.GuardSection());
    InFlight = 0;
    // Read now, not when the page was taken: a finish asked meanwhile must hear of this page.
    finishing = Finishing;
    waited = !WaitReason.empty();
    WaitReason.clear();
    RetryDelayMs = Opts.FirstRetryMs;
    if (diverted && result.Written())
      ++Unsaved;
    else if (diverted && result.Outcome == TPageWriteOutcome::Waiting)
      ++Lost;
  }
  if (!result.Written() && Opts.OnWriteFailed)
    Opts.OnWriteFailed(rec.FileName, result.Reason);
  if (waited || finishing)
    StateChanged();
}

void TSaveThread::StateChanged() {
  if (Opts.OnStateChanged)
    Opts.OnStateChanged();
}
