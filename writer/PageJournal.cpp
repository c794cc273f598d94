#include "writer/PageJournal.h"

#include "writer/FolderKey.h"
#include "writer/PageFile.h"
#include "writer/PageStamp.h"
#include "writer/SaveRec.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace {

// Stations of one user each keep a journal of their own.
constexpr int kJournalSlots = 8;
// Each line reaches the system at once, which a crash or a killed process cannot undo; the disk's
// cache is flushed at most this often and at least this soon after a line, so that a power cut
// loses at most the last second's lines (whose pages it loses too) while a flush for every line
// would cost the writer far more than the lines.
constexpr DWORD kFlushIntervalMs = 1000;
// The station's lines are short (a path and a stamp): a longer one is not the station's.
constexpr size_t kMaxLineBytes = 4096;
// Far more pages than a queue can hold: a journal naming more is not the station's.
constexpr size_t kMaxPages = 100000;
constexpr size_t kReadPieceBytes = 64u << 10;

std::string SlotName(const std::string &folder, int slot) {
  const bool separated = folder.back() == '\\' || folder.back() == '/';
  return folder + (separated ? "" : "\\") +
         (slot == 1 ? "pages.journal" : "pages-" + std::to_string(slot) + ".journal");
}

// "123" → 123; false for anything but 1 to 9 digits.
bool ReadNumber(const std::string &text, unsigned &number) {
  if (text.empty() || text.size() > 9)
    return false;
  number = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "Scan" + 17 digits + F or B + ".jpg".
bool IsStationPageName(const std::string &name) {
  if (name.size() != 26 || name.compare(0, 4, "Scan") != 0 || name.compare(22, 4, ".jpg") != 0)
    return false;
  for (size_t i = 4; i < 21; ++i)
    if (name[i] < '0' || name[i] > '9')
      return false;
  return name[21] == 'F' || name[21] == 'B';
}

// A component a folder may hold: not empty, not made of dots and spaces alone ("..", "."), and
// nothing a file name cannot hold (a NUL, a stream's colon, wildcards).
bool IsPlainComponent(const std::string &part) {
  if (part.find_first_not_of(". ") == std::string::npos)
    return false;
  for (unsigned char c : part)
    if (c < 0x20 || std::string("\"*:<>?|").find(static_cast<char>(c)) != std::string::npos)
      return false;
  return true;
}

// From `at` on: each component after a separator, plain, and no empty one but at the end.
bool IsPlainRest(const std::string &folder, size_t at) {
  while (at < folder.size()) {
    if (!IsSeparator(folder[at]))
      return false;
    const size_t end = std::min(folder.find_first_of("\\/", at + 1), folder.size());
    const std::string part = folder.substr(at + 1, end - at - 1);
    if (part.empty())
      return end == folder.size(); // a trailing separator
    if (!IsPlainComponent(part))
      return false;
    at = end;
  }
  return true;
}

// "X:\a\b" or "\\server\share\a": a whole path to a folder, of plain components.
bool IsPlainFolder(const std::string &folder) {
  // "C:folder" is relative to a drive's current folder: it fails as the rest does not begin with one.
  if (folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':')
    return IsPlainRest(folder, 2);
  // The server and the share are components like any other, and both must be there.
  return folder.size() > 2 && IsSeparator(folder[0]) && folder.find_first_of("\\/", 2) != std::string::npos &&
         IsPlainRest(folder, 1);
}

size_t NameStart(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? 0 : slash + 1;
}

HANDLE OpenJournal(const std::string &path, DWORD disposition) {
  // Others may read it, and only while it is open is it known to belong to a running station.
  return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TJournalReading ReadWhole(HANDLE file) {
  TJournalReader reader;
  std::vector<char> piece(kReadPieceBytes);
  DWORD read = 0;
  while (::ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr) && read > 0)
    reader.Feed(piece.data(), read);
  return reader.Result();
}

} // namespace

bool IsStationPagePath(const std::string &path) {
  const size_t start = NameStart(path);
  return start > 0 && IsStationPageName(path.substr(start)) && IsPlainFolder(path.substr(0, start - 1));
}

void TJournalReader::Feed(const char *bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] == '\n') {
      if (!Skipping)
        TakeLine(Cut);
      Cut.clear();
      Skipping = false;
    } else if (!Skipping) {
      Cut += bytes[i];
      Skipping = Cut.size() > kMaxLineBytes;
      if (Skipping)
        Cut.clear();
    }
  }
}

void TJournalReader::TakeLine(const std::string &line) {
  if (line.size() < 3 || line[1] != ' ')
    return;
  const std::string rest = line.substr(2);
  const size_t space = rest.find(' ');
  const std::string first = rest.substr(0, space);
  const std::string after = space == std::string::npos ? std::string() : rest.substr(space + 1);
  unsigned page = 0;
  switch (line[0]) {
  case 'Q': { // "Q <page> <when> <name>"; a name alone when no folder was given
    const size_t nameAt = after.find(' ');
    const std::string name = nameAt == std::string::npos ? std::string() : after.substr(nameAt + 1);
    const bool bare = !name.empty() && NameStart(name) == 0 && IsStationPageName(name);
    if (!ReadNumber(first, page) || page == 0 || Open.count(page) || Pages.size() >= kMaxPages ||
        !(bare || IsStationPagePath(name)))
      return;
    if (!bare)
      Folders.insert(FolderKey(PageFolderOf(name)));
    Open[page] = Pages.size();
    Pages.push_back({{name, after.substr(0, nameAt), std::string()}, false});
    return;
  }
  case 'F': // "F <folder>": a folder pages go to besides those they were queued for
    if (IsPlainFolder(rest))
      Folders.insert(FolderKey(rest));
    return;
  case 'C': { // "C <page> <name>"
    if (!ReadNumber(first, page) || !IsStationPagePath(after) ||
        !Folders.count(FolderKey(PageFolderOf(after))) ||
        (ClaimedNames.size() >= kMaxPages && !ClaimedNames.count(after)))
      return;
    const auto open = Open.find(page);
    if (page != 0 && open == Open.end())
      return;
    ClaimedNames[after] = page;
    if (open != Open.end())
      Pages[open->second].Page.Claim = after;
    return;
  }
  case 'W':
  case 'A': {
    const auto open = Open.find(ReadNumber(rest, page) ? page : 0);
    if (open == Open.end())
      return;
    TOpenPage &settled = Pages[open->second];
    settled.Settled = true;
    // A written page's name holds it now; the claims of one put aside may still be on disk.
    const auto claim = ClaimedNames.find(settled.Page.Claim);
    if (line[0] == 'W' && claim != ClaimedNames.end() && claim->second == page)
      ClaimedNames.erase(claim);
    Open.erase(open);
    return;
  }
  default:
    return;
  }
}

TJournalReading TJournalReader::Result() const {
  TJournalReading reading;
  for (const TOpenPage &page : Pages)
    if (!page.Settled)
      reading.NotWritten.push_back(page.Page);
  for (const auto &claim : ClaimedNames)
    reading.Claims.push_back(claim.first);
  return reading;
}

TJournalReading ReadJournal(const char *bytes, size_t size) {
  TJournalReader reader;
  reader.Feed(bytes, size);
  return reader.Result();
}

TJournalDisk SystemDisk() {
  TJournalDisk disk;
  disk.HoldsFile = [](const std::string &path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  disk.Remove = [](const std::string &path) { ::DeleteFileA(path.c_str()); };
  return disk;
}

void SettleOnDisk(TJournalReading &reading, const TJournalDisk &disk) {
  // A page moves onto its name only whole: the name's file is the page, journalled written or not.
  std::vector<TJournalPage> lost;
  for (TJournalPage &page : reading.NotWritten)
    if (page.Claim.empty() || !disk.HoldsFile(page.Claim))
      lost.push_back(std::move(page));
  reading.NotWritten = std::move(lost);
  // Only after every name is looked at: a ".partial" removed frees its name for this station's pages.
  for (const std::string &claim : reading.Claims)
    disk.Remove(PartialNameOf(claim));
}

TPageJournal::TPageJournal(const std::string &folder, TProblem problem) : Problem(std::move(problem)) {
  if (folder.empty()) {
    NotOpen = "the user's own folder is not known";
    return;
  }
  std::string freeSlot;
  DWORD error = ERROR_TOO_MANY_OPEN_FILES; // every slot a running station's
  for (int slot = 1; slot <= kJournalSlots; ++slot) {
    const std::string path = SlotName(folder, slot);
    win::UniqueFile left(OpenJournal(path, OPEN_EXISTING));
    const DWORD why = ::GetLastError();
    if (left)
      LeftJournals.push_back({path, std::move(left)}); // held: no other station settles it too
    else if (why == ERROR_FILE_NOT_FOUND && freeSlot.empty())
      freeSlot = path;
    else if (why != ERROR_FILE_NOT_FOUND && why != ERROR_SHARING_VIOLATION)
      error = why; // not a running station's: the folder itself
  }
  if (!freeSlot.empty()) {
    File.reset(OpenJournal(freeSlot, CREATE_NEW));
    error = ::GetLastError();
  }
  if (!File) {
    NotOpen = PageWriteErrorText(error);
    return;
  }
  Path = freeSlot;
  Stop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (Stop)
    Flusher.reset(::CreateThread(nullptr, 0, &TPageJournal::FlushEntry, this, 0, nullptr));
}

TPageJournal::~TPageJournal() {
  if (Settling)
    ::WaitForSingleObject(Settling.get(), INFINITE);
  if (Flusher) {
    ::SetEvent(Stop.get());
    ::WaitForSingleObject(Flusher.get(), INFINITE);
  }
  if (!File)
    return;
  File.reset(nullptr);
  ::DeleteFileA(Path.c_str());
}

void TPageJournal::SettleLeftByACrash(const TJournalDisk &disk) {
  ReadLeftJournals(disk);
  ForgetLeftJournals();
}

void TPageJournal::ReadLeftJournals(const TJournalDisk &disk) {
  for (TLeftJournal &left : LeftJournals) {
    TJournalReading reading = ReadWhole(left.File.get());
    SettleOnDisk(reading, disk);
    Left.NotWritten.insert(Left.NotWritten.end(), reading.NotWritten.begin(), reading.NotWritten.end());
  }
}

// Their pages are named now, and never again.
void TPageJournal::ForgetLeftJournals() {
  for (TLeftJournal &left : LeftJournals) {
    left.File.reset(nullptr);
    ::DeleteFileA(left.Path.c_str());
  }
  LeftJournals.clear();
}

void TPageJournal::SettleLeftByACrashAside(std::function<void()> done) {
  Settled = std::move(done);
  Settling.reset(::CreateThread(nullptr, 0, &TPageJournal::SettleEntry, this, 0, nullptr));
  if (!Settling) { // no thread to spare: here, then
    SettleLeftByACrash();
    Settled();
  }
}

DWORD WINAPI TPageJournal::SettleEntry(void *self) {
  try {
    TPageJournal *journal = static_cast<TPageJournal *>(self);
    journal->ReadLeftJournals(SystemDisk());
    journal->Settled(); // told before the journals go: once they are gone, the news is on its way
    journal->ForgetLeftJournals();
  } catch (...) {
    // Nothing may unwind out of a thread entry; the leftovers wait for the next start.
  }
  return 0;
}

DWORD WINAPI TPageJournal::FlushEntry(void *self) {
  static_cast<TPageJournal *>(self)->FlushWhileOpen();
  return 0;
}

void TPageJournal::FlushWhileOpen() {
  while (::WaitForSingleObject(Stop.get(), kFlushIntervalMs) == WAIT_TIMEOUT)
    if (::InterlockedExchange(&Unflushed, 0))
      ::FlushFileBuffers(File.get());
}

unsigned TPageJournal::Queued(const std::string &fileName) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  unsigned page;
  {
    win::Lock lock(Guard);
    page = ++LastPage;
    FoldersNoted.insert(FolderKey(PageFolderOf(fileName)));
  }
  Append("Q " + std::to_string(page) + " " + FormatPageStamp(now) + " " + fileName + "\n");
  return page;
}

void TPageJournal::Claimed(unsigned page, const std::string &path) {
  // A page sent to a folder it was not queued for (another given, its Blank folder, the unsaved
  // folder): the folder is noted first, or the next start would not act on the claim.
  const std::string folder = PageFolderOf(path);
  bool noted;
  {
    win::Lock lock(Guard);
    if (FoldersNoted.size() > 1000)
      FoldersNoted.clear(); // a folder noted twice costs a line
    noted = !FoldersNoted.insert(FolderKey(folder)).second;
  }
  Append((noted ? std::string() : "F " + folder + "\n") + "C " + std::to_string(page) + " " + path + "\n");
}

void TPageJournal::Written(unsigned page) { Append("W " + std::to_string(page) + "\n"); }

void TPageJournal::PutAside(unsigned page) { Append("A " + std::to_string(page) + "\n"); }

void TPageJournal::Append(const std::string &line) {
  if (!File)
    return;
  std::string problem;
  bool changed;
  {
    win::Lock lock(Guard);
    DWORD written = 0;
    const bool ok =
        ::WriteFile(File.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size();
    if (!ok)
      problem = PageWriteErrorText(written == 0 ? ::GetLastError() : ERROR_HANDLE_DISK_FULL);
    else
      ::InterlockedExchange(&Unflushed, 1);
    changed = ok == Failing;
    Failing = !ok;
  }
  if (changed && Problem)
    Problem(problem);
}
