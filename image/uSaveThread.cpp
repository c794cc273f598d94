#include "image/uSaveThread.h"

#include <stdexcept>

namespace {

// Written under a temporary name and renamed when complete, as a bitmap page is.
bool SaveJpegBytes(const TSaveRec &rec) {
  const std::string partial = rec.FileName + ".partial";
  bool written = false;
  {
    const HANDLE opened = ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
      return false;
    win::UniqueHandle file(opened);
    DWORD done = 0;
    written = ::WriteFile(file.get(), rec.Jpeg.data(), static_cast<DWORD>(rec.Jpeg.size()), &done, nullptr) &&
              done == rec.Jpeg.size();
  }
  if (written && ::MoveFileExA(partial.c_str(), rec.FileName.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  ::DeleteFileA(partial.c_str());
  return false;
}

void ShowThreadErrorBox(const std::string &message) {
  ::MessageBoxA(nullptr, message.c_str(), "Thread Error", MB_OK);
}

std::string FolderOf(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FolderFailure(const std::string &fileName) {
  const std::string folder = FolderOf(fileName);
  const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "the folder " + folder + " does not exist";
  return "the file could not be written";
}

} // namespace

bool SavePage(TSaveRec &rec, std::string &reason) {
  if (!rec.Jpeg.empty() ? SaveJpegBytes(rec) : rec.Bitmap.SaveToFile(rec.FileName, 0))
    return true;
  reason = SaveFailureReason(rec);
  return false;
}

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

std::string SaveFailureReason(const TSaveRec &rec) {
  if (!rec.Jpeg.empty())
    return FolderFailure(rec.FileName);
  if (!rec.Bitmap.HasImage())
    return "the page holds no image";
  const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(rec.FileName.c_str());
  if (fif == FIF_UNKNOWN)
    return "no image format for this file name";
  if (!rec.Bitmap.CanSaveAs(fif))
    return std::string(FreeImage_GetFormatFromFIF(fif)) + " cannot hold a " +
           std::to_string(FreeImage_GetBPP(rec.Bitmap.Image())) + "-bit image";
  return FolderFailure(rec.FileName);
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
      SpaceFreed(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  if (!Opts.Writer)
    Opts.Writer = SavePage;
  if (!Opts.ErrorBox)
    Opts.ErrorBox = ShowThreadErrorBox;
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
  const size_t bytes = PageBytes(*rec);
  for (;;) {
    {
      win::Lock lock(Queue.GuardSection());
      // A page larger than the whole budget still goes through once the queue is empty.
      if (Bytes == 0 || Bytes + bytes <= Opts.BudgetBytes) {
        Queue.Add(std::move(rec));
        Bytes += bytes;
        if (Bytes > PeakBytes)
          PeakBytes = Bytes;
        break;
      }
    }
    ::WaitForSingleObject(SpaceFreed.get(), 1000);
  }
  ::SetEvent(Signal.get());
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
  // Closing loses no page: whatever is still queued is written before the writer ends.
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
}

bool TSaveThread::WriteOnePage() {
  std::unique_ptr<TSaveRec> rec;
  size_t bytes = 0;
  {
    win::Lock lock(Queue.GuardSection());
    rec = Queue.TakeFirst();
    if (rec) {
      bytes = PageBytes(*rec);
      Bytes -= bytes;
    }
  }
  if (!rec)
    return false;
  ::SetEvent(SpaceFreed.get());
  std::string reason;
  if (!Opts.Writer(*rec, reason) && Opts.OnWriteFailed)
    Opts.OnWriteFailed(rec->FileName, reason);
  return true;
}
