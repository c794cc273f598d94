#include "writer/uSaveThread.h"

#include "writer/FolderKey.h"

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

TPageWriteResult WritePage(TSaveRec &rec) {
  TNameClaim *claim = rec.Claim && rec.Claim->Path() == rec.FileName ? rec.Claim.get() : nullptr;
  // The scanner's own JPEG file goes to disk as it is, by the same road as an encoded page.
  if (!rec.Jpeg.empty()) {
    const TPageBytesProducer bytes = [&rec](TPageFileSink &sink) {
      return sink.Write(rec.Jpeg.data(), rec.Jpeg.size());
    };
    return claim ? WritePageFile(*claim, bytes) : WritePageFile(rec.FileName, bytes);
  }
  return claim ? rec.Bitmap.WriteToFile(*claim, 0) : rec.Bitmap.WriteToFile(rec.FileName, 0);
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
    : Opts(std::move(options)), Names([this](unsigned page, const std::string &path) {
        if (Opts.Journal)
          Opts.Journal->Claimed(page, path);
      }),
      Signal(::CreateEventA(nullptr, FALSE, FALSE, "")),
      SpaceFreed(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      Encoders(
          Queue, Opts.Encoders, [this](size_t before, size_t after) { Resized(before, after); },
          [this] {
            ::SetEvent(SpaceFreed.get());
            ::SetEvent(Signal.get());
          }) {
  if (!Opts.Writer)
    Opts.Writer = [this](TSaveRec &rec) {
      const TPageWriteResult claimed = Names.Claim(rec);
      return claimed.Written() ? WritePage(rec) : claimed;
    };
  if (Opts.WrapWriter)
    Opts.Writer = Opts.WrapWriter(std::move(Opts.Writer));
  if (!Opts.ErrorBox)
    Opts.ErrorBox = ShowThreadErrorBox;
  if (!Opts.Clock)
    Opts.Clock = ::GetTickCount;
  if (!Signal || !SpaceFreed)
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
  ::WaitForSingleObject(Thread.get(), INFINITE);
}

void TSaveThread::QueuePage(std::unique_ptr<TSaveRec> rec) {
  if (!rec)
    return;
  // On disk before the page is in the queue: a crash from now on cannot lose it without a word.
  if (Opts.Journal)
    rec->JournalPage = Opts.Journal->Queued(rec->FileName);
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
  Encoders.Wake();
}

// Under the queue's lock: a queued page was encoded and now holds its JPEG instead of its pixels.
void TSaveThread::Resized(size_t before, size_t after) {
  Bytes = Bytes - before + after;
  PeakBytes = std::max(PeakBytes, Bytes);
}

// Under the queue's lock. A page with no folder, or one whose folder the person gave up while it
// waited, goes into the folder given last under its own name.
bool TSaveThread::SentToGivenFolder(TSaveRec &rec, const std::string &folder) {
  const std::string key = FolderKey(folder);
  if (OutputFolder.empty() || key == OutputKey || !(key.empty() || GivenUp.count(key)))
    return false;
  rec.FileName = InFolder(OutputFolder, rec.FileName.substr(NameStart(rec.FileName)));
  return true;
}

size_t TSaveThread::SetOutputFolder(const std::string &folder) {
  size_t sent = 0;
  {
    win::Lock lock(Queue.GuardSection());
    OutputFolder = folder;
    OutputKey = FolderKey(folder);
    GivenUp.erase(OutputKey);
    if (folder.empty())
      return 0;
    for (const auto &wait : Waits)
      if (wait.first != OutputKey)
        GivenUp.insert(wait.first);
    Queue.ForEach([&](TSaveRec &rec) { sent += SentToGivenFolder(rec, PageFolderOf(rec.FileName)) ? 1 : 0; });
    for (auto it = Waits.begin(); it != Waits.end();)
      it = it->first == OutputKey ? std::next(it) : Waits.erase(it);
    // Given again while it waits: the pages keep waiting for it, and the person says it is worth a
    // try now.
    const auto again = Waits.find(OutputKey);
    ShownWait = again == Waits.end() ? std::string() : OutputKey;
    if (again != Waits.end())
      again->second.DueAt = Now();
  }
  ::SetEvent(Signal.get());
  StateChanged();
  return sent;
}

void TSaveThread::Finish() {
  {
    win::Lock lock(Queue.GuardSection());
    Finishing = true;
  }
  ::SetEvent(Signal.get());
}

void TSaveThread::Resume() {
  win::Lock lock(Queue.GuardSection());
  Finishing = false;
  Diverted.clear();
}

TWriterState TSaveThread::State() {
  win::Lock lock(Queue.GuardSection());
  TWriterState state;
  state.Pages = Queue.Count() + InFlight;
  state.WritingFolder = WritingFolder;
  const auto shown = Waits.find(ShownWait);
  if (shown != Waits.end()) {
    state.WaitReason = shown->second.Reason;
    state.WaitFolder = shown->second.Folder;
    state.RetryAt = shown->second.DueAt;
  }
  state.Finishing = Finishing;
  state.Unsaved = Unsaved;
  state.Lost = Lost;
  state.Refused = Refused;
  state.NotWritten = NotWritten;
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

DWORD TSaveThread::Now() const { return Opts.Clock(); }

std::string TSaveThread::ShownWaitReason() const {
  const auto shown = Waits.find(ShownWait);
  return shown == Waits.end() ? std::string() : shown->second.Reason;
}

// The folder took a page (or opened it, for one the encoder refused): its wait is over, and a
// later wait starts again from the first delay.
void TSaveThread::WaitOver(const std::string &folder) {
  Waits.erase(folder);
  if (ShownWait == folder)
    ShownWait = Waits.empty() ? std::string() : Waits.begin()->first;
}

bool TSaveThread::MayWriteNow(const std::string &folder, DWORD now) const {
  if (Finishing)
    return true;
  const auto wait = Waits.find(FolderKey(folder));
  return wait == Waits.end() || static_cast<LONG>(now - wait->second.DueAt) >= 0;
}

DWORD TSaveThread::MsToNextRetry(DWORD now) const {
  DWORD next = Opts.WakeIntervalMs;
  for (const auto &wait : Waits) {
    const LONG left = static_cast<LONG>(wait.second.DueAt - now);
    next = std::min(next, left > 0 ? static_cast<DWORD>(left) : 0);
  }
  return next;
}

void TSaveThread::Run() {
  while (!::InterlockedCompareExchange(&Terminated, 0, 0)) {
    DWORD wait;
    {
      win::Lock lock(Queue.GuardSection());
      wait = MsToNextRetry(Now());
    }
    ::WaitForSingleObject(Signal.get(), wait);
    // With nothing it may write, the writer encodes a later page itself.
    while (!::InterlockedCompareExchange(&Terminated, 0, 0) && (RunPass() || Encoders.EncodeOne()))
      ;
  }
  // Closing loses no page: whatever is still queued is written, or kept in the unsaved folder.
  {
    win::Lock lock(Queue.GuardSection());
    Finishing = true;
  }
  while (QueuedCount() > 0)
    if (!RunPass() && !Encoders.EncodeOne())
      ::WaitForSingleObject(Signal.get(), Opts.WakeIntervalMs); // the page next in line is being encoded
}

bool TSaveThread::RunPass() {
  bool wrote = false;
  try {
    wrote = WriteOnePage();
  } catch (const std::exception &e) {
    // One page's failure must not stop the writer: every later page would stay unwritten.
    wrote = true;
    Opts.ErrorBox(e.what());
  } catch (...) {
    wrote = true;
    Opts.ErrorBox("Unknown error while writing a page");
  }
  win::Lock lock(Queue.GuardSection());
  InFlight = 0;
  return wrote;
}

bool TSaveThread::WriteOnePage() {
  std::unique_ptr<TSaveRec> rec;
  bool finishing = false, diverting = false;
  std::string folder;
  {
    win::Lock lock(Queue.GuardSection());
    const DWORD now = Now();
    // Pages go in queue order: one still in an encoder's hands holds back those after it.
    bool encoding = false;
    rec = Queue.TakeFirstWhere([&](const TSaveRec &r) {
      if (encoding || !MayWriteNow(PageFolderOf(r.FileName), now))
        return false;
      encoding = r.Encoding == TPageEncoding::Running;
      return !encoding;
    });
    if (!rec)
      return false;
    Bytes -= PageBytes(*rec);
    InFlight = 1;
    finishing = Finishing;
    SentToGivenFolder(*rec, PageFolderOf(rec->FileName));
    folder = PageFolderOf(rec->FileName);
    WritingFolder = folder;
    diverting = finishing && Diverted.count(FolderKey(folder)) > 0;
  }
  ::SetEvent(SpaceFreed.get());

  TPageWriteResult result;
  try {
    result = diverting ? WriteUnsaved(*rec, std::string()) : Opts.Writer(*rec);
  } catch (...) {
    // Shown by the pass; the page is counted among those to scan again.
    {
      win::Lock lock(Queue.GuardSection());
      ++Refused;
      NoteNotWritten(rec->FileName);
    }
    JournalSettled(*rec, false);
    StateChanged();
    throw;
  }
  if (result.Outcome == TPageWriteOutcome::Waiting && !diverting) {
    if (!finishing) {
      HoldForRetry(std::move(rec), folder, result.Reason);
      return true;
    }
    // At the end nobody waits for the folder to come back: this page and every later page bound
    // for it go where they are kept.
    {
      win::Lock lock(Queue.GuardSection());
      Diverted.insert(FolderKey(folder));
    }
    diverting = true;
    result = WriteUnsaved(*rec, result.Reason);
  }
  Settle(*rec, folder, result, diverting);
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

void TSaveThread::HoldForRetry(std::unique_ptr<TSaveRec> rec, const std::string &folder,
                               const std::string &reason) {
  bool changed = false;
  {
    win::Lock lock(Queue.GuardSection());
    Bytes += PageBytes(*rec);
    // Given up while it was being tried: it follows the pages sent to the folder given since.
    const bool sent = SentToGivenFolder(*rec, folder);
    Queue.AddFirst(std::move(rec)); // first of its folder, so the folder's order holds
    InFlight = 0;
    if (!sent) {
      const std::string shownBefore = ShownWaitReason();
      const std::string key = FolderKey(folder);
      TFolderWait &wait = Waits[key];
      wait.DelayMs = wait.DelayMs == 0 ? Opts.FirstRetryMs : std::min(wait.DelayMs * 2, Opts.MaxRetryMs);
      wait.DueAt = Now() + wait.DelayMs;
      wait.Reason = reason;
      wait.Folder = folder;
      ShownWait = key;
      changed = shownBefore != reason;
    }
  }
  ::SetEvent(Signal.get()); // pages bound for other folders go on meanwhile
  if (changed)
    StateChanged();
}

void TSaveThread::NoteNotWritten(const std::string &fileName) {
  // Enough to name the sheets to scan again, without growing for ever.
  constexpr size_t kMaxNames = 1000;
  if (NotWritten.size() < kMaxNames)
    NotWritten.push_back(fileName);
}

void TSaveThread::Settle(const TSaveRec &rec, const std::string &folder, const TPageWriteResult &result,
                         bool diverted) {
  bool waited, finishing;
  {
    win::Lock lock(Queue.GuardSection());
    InFlight = 0;
    // Read now, not when the page was taken: a finish asked meanwhile must hear of this page.
    finishing = Finishing;
    waited = !diverted && Waits.count(FolderKey(folder)) > 0;
    if (waited)
      WaitOver(FolderKey(folder));
    if (diverted && result.Written()) {
      ++Unsaved;
    } else if (!result.Written()) {
      ++(diverted ? Lost : Refused);
      NoteNotWritten(rec.FileName);
    }
  }
  Names.Settle(rec, result);
  JournalSettled(rec, result.Written());
  if (!result.Written() && Opts.OnWriteFailed)
    Opts.OnWriteFailed(rec.FileName, result.Reason);
  if (waited || finishing || !result.Written())
    StateChanged();
}

void TSaveThread::JournalSettled(const TSaveRec &rec, bool written) {
  if (!Opts.Journal || rec.JournalPage == 0)
    return;
  if (written)
    Opts.Journal->Written(rec.JournalPage);
  else
    Opts.Journal->PutAside(rec.JournalPage);
}

void TSaveThread::StateChanged() {
  if (Opts.OnStateChanged)
    Opts.OnStateChanged();
}
