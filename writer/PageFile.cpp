#include "writer/PageFile.h"

#include "win/Owners.h"
#include "writer/FolderChain.h"
#include "writer/PageStamp.h"

#include <cstdint>
#include <cstring>

namespace {

// A file of the same name is taken by someone else after this many steps: give up for now.
constexpr int kMaxNameSteps = 100000;

std::string FolderOf(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
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

bool NameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Claims a name: its ".partial" file created exclusively, then the name itself checked free. Every
// station claims that way, so two cannot hold one name, and the name itself appears only with the
// whole page. A name whose ".partial" stands is another's and is passed by unannounced; any other
// is announced before its file is made, so that a crash journal never misses one of ours. 0 or
// the system's error.
DWORD CreateClaim(const std::string &path, const TClaimNotice &before, std::unique_ptr<TNameClaim> &claim) {
  if (::GetFileAttributesA(PartialNameOf(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    return ERROR_FILE_EXISTS;
  if (before)
    before(path);
  HANDLE held = ::CreateFileA(PartialNameOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE)
    return ::GetLastError();
  auto taken = std::make_unique<TNameClaim>(path, held);
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return ERROR_FILE_EXISTS; // a page already stands there: the claim is given back
  claim = std::move(taken);
  return 0;
}

// The first names free from `fileName` on: one, or with `sheet` the front's and the back's.
TNameClaimed ClaimFree(const std::string &fileName, bool sheet, const TClaimNotice &beforePage,
                       const TClaimNotice &beforeBack) {
  TNameClaimed claimed;
  const std::string folder = FolderOf(fileName);
  if (folder.empty()) {
    claimed.Failure = {TPageWriteOutcome::Waiting, "no output folder is given", std::string()};
    return claimed;
  }
  bool madeFolder = false;
  std::string name = fileName;
  for (int attempt = 1; attempt <= kMaxNameSteps; ++attempt) {
    DWORD error = CreateClaim(name, beforePage, claimed.Page);
    // A missing folder (a typo, or deleted while the station runs) is made when its drive is there.
    if (error == ERROR_PATH_NOT_FOUND && !madeFolder && ForceDirectories(folder)) {
      madeFolder = true;
      error = CreateClaim(name, beforePage, claimed.Page);
    }
    if (error == 0 && sheet)
      error = CreateClaim(PageNameOfOtherSide(name), beforeBack, claimed.Back);
    if (error == 0)
      return claimed;
    claimed.Page.reset(); // the front's name is given back when the back's is taken
    if (!NameTaken(error)) {
      claimed.Failure = Waiting(error);
      return claimed;
    }
    name = CandidateName(fileName, name, attempt);
  }
  claimed.Failure = Waiting(ERROR_FILE_EXISTS);
  return claimed;
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

std::string PartialNameOf(const std::string &pageName) { return pageName + ".partial"; }

TNameClaim::~TNameClaim() {
  Held.reset(nullptr);
  if (!Filled)
    ::DeleteFileA(PartialNameOf(Name).c_str());
}

HANDLE TNameClaim::Emptied() {
  // After a failed move the file is still ours: no station creates a ".partial" that exists.
  if (!Held)
    Held.reset(::CreateFileA(PartialNameOf(Name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER zero = {};
  if (!Held || !::SetFilePointerEx(Held.get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(Held.get()))
    return INVALID_HANDLE_VALUE;
  return Held.get();
}

DWORD TNameClaim::MovePageIn() {
  if (!::FlushFileBuffers(Held.get()) || !::CloseHandle(Held.release()))
    return ::GetLastError();
  // Never onto a name that stands: nothing of anyone's is replaced.
  if (!::MoveFileExA(PartialNameOf(Name).c_str(), Name.c_str(), MOVEFILE_WRITE_THROUGH))
    return ::GetLastError();
  Filled = true;
  return 0;
}

TNameClaimed ClaimFreeName(const std::string &fileName, const TClaimNotice &before) {
  return ClaimFree(fileName, false, before, {});
}

TNameClaimed ClaimFreeSheet(const std::string &frontName, const TClaimNotice &beforeFront,
                            const TClaimNotice &beforeBack) {
  return ClaimFree(frontName, PageNameSide(frontName) == 'F', beforeFront, beforeBack);
}

// The words complete "3 pages waiting: …": every code a write can meet, in words a person can act
// on; a code the table lacks is shown beside the system's own words for it.
std::string PageWriteErrorText(DWORD errorCode) {
  static const char kUnreachable[] = "the folder is unreachable";
  static const char kNoPermission[] = "there is no permission to write into the folder";
  static const char kDiskFailed[] = "the disk could not write the file";
  static const char kNotValid[] = "the folder's name is not valid";
  static const struct {
    DWORD Code;
    const char *Text;
  } kTexts[] = {
      {ERROR_DISK_FULL, "the disk is full"},
      {ERROR_HANDLE_DISK_FULL, "the disk is full"},
      {1295 /* ERROR_DISK_QUOTA_EXCEEDED */, "the disk quota is used up"},
      // A file in a folder that is gone, or in the root of a drive that is gone.
      {ERROR_FILE_NOT_FOUND, kUnreachable},
      {ERROR_PATH_NOT_FOUND, kUnreachable},
      {ERROR_INVALID_DRIVE, "the drive is not there"},
      {ERROR_NOT_READY, "the drive is not ready"},
      {ERROR_DEVICE_NOT_CONNECTED, "the drive is not there"},
      {ERROR_BAD_NETPATH, kUnreachable},
      {ERROR_BAD_NET_NAME, kUnreachable},
      {ERROR_NETNAME_DELETED, kUnreachable},
      {ERROR_UNEXP_NET_ERR, kUnreachable},
      {ERROR_BAD_NET_RESP, kUnreachable},
      {ERROR_NETWORK_BUSY, kUnreachable},
      {ERROR_DEV_NOT_EXIST, kUnreachable},
      {ERROR_NETWORK_UNREACHABLE, kUnreachable},
      {ERROR_HOST_UNREACHABLE, kUnreachable},
      {ERROR_SEM_TIMEOUT, kUnreachable},
      {ERROR_ACCESS_DENIED, kNoPermission},
      {ERROR_NETWORK_ACCESS_DENIED, kNoPermission},
      {ERROR_LOGON_FAILURE, kNoPermission},
      {ERROR_PRIVILEGE_NOT_HELD, kNoPermission},
      {ERROR_CANNOT_MAKE, "the folder takes no new files"},
      {ERROR_WRITE_PROTECT, "the disk is write-protected"},
      {ERROR_SHARING_VIOLATION, "the file is in use"},
      {ERROR_LOCK_VIOLATION, "the file is in use"},
      {ERROR_FILE_EXISTS, "the file name is taken"},
      {ERROR_ALREADY_EXISTS, "the file name is taken"},
      {ERROR_INVALID_NAME, kNotValid},
      {ERROR_BAD_PATHNAME, kNotValid},
      {ERROR_DIRECTORY, kNotValid},
      {ERROR_FILENAME_EXCED_RANGE, "the path is too long"},
      {ERROR_WRITE_FAULT, kDiskFailed},
      {ERROR_GEN_FAILURE, kDiskFailed},
      {ERROR_CRC, kDiskFailed},
      {ERROR_IO_DEVICE, kDiskFailed},
      {ERROR_NOT_ENOUGH_MEMORY, "the computer is out of memory"},
      {ERROR_OUTOFMEMORY, "the computer is out of memory"},
      {ERROR_NO_SYSTEM_RESOURCES, "the computer is out of memory"},
      {ERROR_TOO_MANY_OPEN_FILES, "too many files are open"},
  };
  for (const auto &entry : kTexts)
    if (entry.Code == errorCode)
      return entry.Text;
  char words[256] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  errorCode, 0, words, sizeof words, nullptr);
  while (length > 0 && (words[length - 1] == '.' || static_cast<unsigned char>(words[length - 1]) <= ' '))
    --length;
  const std::string code = "error " + std::to_string(errorCode);
  return "the file could not be written (" + (length > 0 ? std::string(words, length) + ", " : "") + code +
         ")";
}

bool TPageFileSink::Write(const void *data, size_t size) {
  if (Error != 0)
    return false;
  const char *bytes = static_cast<const char *>(data);
  const bool large = size > kGatherBytes / 4;
  // What is gathered goes first: the file holds the bytes in the order they were given.
  if ((large || GatheredBytes + size > kGatherBytes) && !Flush())
    return false;
  if (large)
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

TPageWriteResult WritePageFile(TNameClaim &claim, const TPageBytesProducer &produce) {
  const HANDLE file = claim.Emptied();
  if (file == INVALID_HANDLE_VALUE)
    return Waiting(::GetLastError());
  TPageFileSink sink(file);
  const bool produced = produce(sink);
  sink.Flush();
  if (sink.ErrorCode() != 0)
    return Waiting(sink.ErrorCode());
  if (!produced)
    return TPageWriteResult::Refusal("the page could not be encoded");
  if (const DWORD error = claim.MovePageIn())
    return Waiting(error);
  return {TPageWriteOutcome::Written, std::string(), claim.Path()};
}

TPageWriteResult WritePageFile(const std::string &fileName, const TPageBytesProducer &produce) {
  TNameClaimed claimed = ClaimFreeName(fileName);
  return claimed.Page ? WritePageFile(*claimed.Page, produce) : claimed.Failure;
}
