#include "image/PageFile.h"

#include "image/FolderChain.h"
#include "image/PageStamp.h"
#include "win/Owners.h"

#include <cstdint>
#include <cstring>

namespace {

// A file of the same name is taken by someone else after this many steps: give up for now.
constexpr int kMaxNameSteps = 100000;

std::string FolderOf(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The ".partial" file is removed unless it became the page.
class TPartialFile {
public:
  explicit TPartialFile(std::string name) : Name(std::move(name)) {}
  ~TPartialFile() {
    if (!Kept)
      ::DeleteFileA(Name.c_str());
  }
  TPartialFile(const TPartialFile &) = delete;
  TPartialFile &operator=(const TPartialFile &) = delete;
  const std::string &Path() const { return Name; }
  void Keep() { Kept = true; }

private:
  std::string Name;
  bool Kept = false;
};

HANDLE CreatePartial(const std::string &name) {
  return ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

TPageWriteResult Waiting(DWORD errorCode) {
  return {TPageWriteOutcome::Waiting, PageWriteErrorText(errorCode), std::string()};
}

// The next name to try after `attempt` names were taken: the stamp 1 ms on for a page's name,
// a counter before the extension for any other.
std::string CandidateName(const std::string &fileName, const std::string &previous, int attempt) {
  std::string later = PageNameOneMillisecondLater(previous);
  if (!later.empty())
    return later;
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of("\\/");
  const size_t cut =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? fileName.size() : dot;
  return fileName.substr(0, cut) + "(" + std::to_string(attempt) + ")" + fileName.substr(cut);
}

// Gives the finished file its name without replacing anything already there.
TPageWriteResult MoveToFreeName(const std::string &partial, const std::string &fileName) {
  std::string target = fileName;
  for (int attempt = 1; attempt <= kMaxNameSteps; ++attempt) {
    if (::MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
      return {TPageWriteOutcome::Written, std::string(), target};
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
      return Waiting(error);
    target = CandidateName(fileName, target, attempt);
  }
  return Waiting(ERROR_FILE_EXISTS);
}

unsigned DLL_CALLCONV ReadNothing(void *, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV WriteToSink(void *buffer, unsigned size, unsigned count, fi_handle handle) {
  const uint64_t bytes = uint64_t(size) * count;
  if (bytes > SIZE_MAX)
    return 0;
  return static_cast<TPageFileSink *>(handle)->Write(buffer, static_cast<size_t>(bytes)) ? count : 0;
}

// The sink's file pointer, with what it gathered written; FreeImage's savers may seek back to
// fill in a header.
HANDLE SinkFile(fi_handle handle) {
  TPageFileSink *sink = static_cast<TPageFileSink *>(handle);
  return sink->Flush() ? sink->Handle() : INVALID_HANDLE_VALUE;
}

int DLL_CALLCONV SeekSink(fi_handle handle, long offset, int origin) {
  const DWORD method = origin == SEEK_CUR ? FILE_CURRENT : origin == SEEK_END ? FILE_END : FILE_BEGIN;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(SinkFile(handle), distance, nullptr, method) ? 0 : -1;
}

long DLL_CALLCONV TellSink(fi_handle handle) {
  LARGE_INTEGER zero = {}, position = {};
  if (!::SetFilePointerEx(SinkFile(handle), zero, &position, FILE_CURRENT) || position.QuadPart > LONG_MAX)
    return -1;
  return static_cast<long>(position.QuadPart);
}

} // namespace

// The words complete "3 pages waiting: …"; the codes are those a vanished share, a full disk or
// a locked folder give.
std::string PageWriteErrorText(DWORD errorCode) {
  static const struct {
    DWORD Code;
    const char *Text;
  } kTexts[] = {
      {ERROR_DISK_FULL, "the disk is full"},
      {ERROR_HANDLE_DISK_FULL, "the disk is full"},
      {ERROR_PATH_NOT_FOUND, "the folder is unreachable"},
      {ERROR_INVALID_DRIVE, "the folder is unreachable"},
      {ERROR_NOT_READY, "the folder is unreachable"},
      {ERROR_BAD_NETPATH, "the folder is unreachable"},
      {ERROR_BAD_NET_NAME, "the folder is unreachable"},
      {ERROR_NETNAME_DELETED, "the folder is unreachable"},
      {ERROR_UNEXP_NET_ERR, "the folder is unreachable"},
      {ERROR_DEV_NOT_EXIST, "the folder is unreachable"},
      {ERROR_NETWORK_UNREACHABLE, "the folder is unreachable"},
      {ERROR_ACCESS_DENIED, "the folder refuses new files"},
      {ERROR_WRITE_PROTECT, "the folder refuses new files"},
      {ERROR_SHARING_VIOLATION, "the file is in use"},
      {ERROR_FILE_EXISTS, "no free file name is left"},
      {ERROR_INVALID_NAME, "the folder's name is not valid"},
      {ERROR_DIRECTORY, "the folder's name is not valid"},
      {ERROR_FILENAME_EXCED_RANGE, "the path is too long"},
  };
  for (const auto &entry : kTexts)
    if (entry.Code == errorCode)
      return entry.Text;
  return "the file could not be written (error " + std::to_string(errorCode) + ")";
}

bool TPageFileSink::Write(const void *data, size_t size) {
  if (Error != 0)
    return false;
  const char *bytes = static_cast<const char *>(data);
  if (GatheredBytes + size > kGatherBytes && !Flush())
    return false;
  if (size > kGatherBytes / 4)
    return WriteThrough(bytes, size); // large enough to go as it is, without a copy
  std::memcpy(Gathered + GatheredBytes, bytes, size);
  GatheredBytes += size;
  return true;
}

bool TPageFileSink::Flush() {
  if (GatheredBytes == 0)
    return Error == 0;
  const bool written = WriteThrough(Gathered, GatheredBytes);
  GatheredBytes = 0;
  return written;
}

bool TPageFileSink::WriteThrough(const char *bytes, size_t size) {
  while (Error == 0 && size > 0) {
    const DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(File, bytes, chunk, &written, nullptr))
      Error = ::GetLastError();
    else if (written == 0)
      Error = ERROR_WRITE_FAULT;
    bytes += written;
    size -= written;
  }
  return Error == 0;
}

FreeImageIO TPageFileSink::IO() {
  FreeImageIO io;
  io.read_proc = ReadNothing;
  io.write_proc = WriteToSink;
  io.seek_proc = SeekSink;
  io.tell_proc = TellSink;
  return io;
}

TPageWriteResult WritePageFile(const std::string &fileName, const TPageBytesProducer &produce) {
  const std::string folder = FolderOf(fileName);
  if (folder.empty())
    return {TPageWriteOutcome::Waiting, "no output folder is given", std::string()};

  TPartialFile partial(fileName + ".partial");
  win::UniqueFile file(CreatePartial(partial.Path()));
  DWORD openError = file ? 0 : ::GetLastError();
  // A missing folder (a typo, or deleted while the station runs) is made when its drive is there.
  if (openError == ERROR_PATH_NOT_FOUND && ForceDirectories(folder)) {
    file.reset(CreatePartial(partial.Path()));
    openError = file ? 0 : ::GetLastError();
  }
  if (!file)
    return Waiting(openError);

  TPageFileSink sink(file.get());
  const bool produced = produce(sink);
  sink.Flush();
  if (sink.ErrorCode() != 0)
    return Waiting(sink.ErrorCode());
  if (!produced)
    return TPageWriteResult::Refusal("the page could not be encoded");
  if (!::FlushFileBuffers(file.get()))
    return Waiting(::GetLastError());
  if (!::CloseHandle(file.release()))
    return Waiting(::GetLastError());

  TPageWriteResult result = MoveToFreeName(partial.Path(), fileName);
  if (result.Written())
    partial.Keep();
  return result;
}
