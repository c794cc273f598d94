#include "writer/PageJournal.h"

#include "writer/PageFile.h"
#include "writer/PageStamp.h"

#include <windows.h>

#include <map>

namespace {

// Stations on one machine each keep a journal of their own.
constexpr int kJournalSlots = 8;
// Each line reaches the system at once, which a crash or a killed process cannot undo; the disk's
// cache is flushed at most this often, so that a power cut loses at most the last second's
// lines (whose pages it loses too) while a flush for every line would cost the writer far more
// than the lines.
constexpr DWORD kFlushIntervalMs = 1000;
// A journal grows by three short lines a page and starts afresh at every start: anything larger
// is not ours, and only its start is read.
constexpr DWORD kMaxJournalBytes = 16u << 20;

std::string SlotName(const std::string &folder, int slot) {
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
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

std::string ReadAll(HANDLE file) {
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file, &size))
    return std::string();
  std::string bytes(static_cast<size_t>(size.QuadPart < kMaxJournalBytes ? size.QuadPart : kMaxJournalBytes),
                    '\0');
  DWORD read = 0;
  if (bytes.empty() || !::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
    return std::string();
  bytes.resize(read);
  return bytes;
}

// A claimed name that stayed empty, and the ".partial" file of one, are never a page.
void RemoveLeftovers(const std::string &claim) {
  ::DeleteFileA(PartialNameOf(claim).c_str());
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (::GetFileAttributesExA(claim.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 0 &&
      data.nFileSizeHigh == 0 && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    ::DeleteFileA(claim.c_str());
}

HANDLE OpenJournal(const std::string &path, DWORD disposition) {
  // Others may read it, and only while it is open is it known to belong to a running station.
  return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TJournalReading ReadJournal(const char *bytes, size_t size) {
  TJournalReading reading;
  std::map<unsigned, size_t> open; // page number → its place in NotWritten
  std::vector<bool> written;
  size_t start = 0;
  for (size_t end = 0; end < size; ++end) {
    if (bytes[end] != '\n')
      continue;
    const std::string line(bytes + start, end - start);
    start = end + 1;
    if (line.size() < 3 || line[1] != ' ')
      continue;
    const std::string rest = line.substr(2);
    const size_t space = rest.find(' ');
    unsigned page = 0;
    if (line[0] == 'C') {
      reading.Claims.push_back(rest);
    } else if ((line[0] == 'W' || line[0] == 'A') && ReadNumber(rest, page)) {
      const auto it = open.find(page);
      if (it != open.end()) {
        written[it->second] = true;
        open.erase(it);
      }
    } else if (line[0] == 'Q' && space != std::string::npos && ReadNumber(rest.substr(0, space), page)) {
      // "Q <page> <when> <name>"
      const std::string timeAndName = rest.substr(space + 1);
      const size_t nameAt = timeAndName.find(' ');
      if (nameAt == std::string::npos || nameAt + 1 == timeAndName.size() || open.count(page))
        continue;
      open[page] = reading.NotWritten.size();
      reading.NotWritten.push_back({timeAndName.substr(nameAt + 1), timeAndName.substr(0, nameAt)});
      written.push_back(false);
    }
  }
  std::vector<TJournalPage> notWritten;
  for (size_t i = 0; i < reading.NotWritten.size(); ++i)
    if (!written[i])
      notWritten.push_back(std::move(reading.NotWritten[i]));
  reading.NotWritten = std::move(notWritten);
  return reading;
}

TPageJournal::TPageJournal(const std::string &folder, TProblem problem) : Problem(std::move(problem)) {
  std::string freeSlot;
  for (int slot = 1; slot <= kJournalSlots; ++slot) {
    const std::string path = SlotName(folder, slot);
    win::UniqueFile left(OpenJournal(path, OPEN_EXISTING));
    if (!left) {
      if (::GetLastError() == ERROR_FILE_NOT_FOUND && freeSlot.empty())
        freeSlot = path;
      continue; // in use: a running station's
    }
    const std::string bytes = ReadAll(left.get());
    TJournalReading reading = ReadJournal(bytes.data(), bytes.size());
    for (const std::string &claim : reading.Claims)
      RemoveLeftovers(claim);
    Left.NotWritten.insert(Left.NotWritten.end(), reading.NotWritten.begin(), reading.NotWritten.end());
    if (!File) {
      TakeOver(path, std::move(left));
      continue;
    }
    left.reset(nullptr);
    ::DeleteFileA(path.c_str()); // another station's, gone: one journal is enough
  }
  if (!File && !freeSlot.empty())
    TakeOver(freeSlot, win::UniqueFile(OpenJournal(freeSlot, CREATE_NEW)));
  if (!File)
    NotOpen = PageWriteErrorText(::GetLastError());
}

void TPageJournal::TakeOver(const std::string &path, win::UniqueFile file) {
  LARGE_INTEGER zero = {};
  if (!file || !::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
    return;
  Path = path;
  File = std::move(file);
}

TPageJournal::~TPageJournal() {
  if (!File)
    return;
  File.reset(nullptr);
  ::DeleteFileA(Path.c_str());
}

unsigned TPageJournal::Queued(const std::string &fileName) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  unsigned page;
  {
    win::Lock lock(Guard);
    page = ++LastPage;
  }
  Append("Q " + std::to_string(page) + " " + FormatPageStamp(now) + " " + fileName + "\n");
  return page;
}

void TPageJournal::Claimed(const std::string &path) { Append("C " + path + "\n"); }

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
    const DWORD now = ::GetTickCount();
    if (ok && now - FlushedAt >= kFlushIntervalMs) {
      ::FlushFileBuffers(File.get());
      FlushedAt = now;
    }
    changed = ok == Failing;
    Failing = !ok;
  }
  if (changed && Problem)
    Problem(problem);
}
