#include "twain/KestraTwainUtils.h"

#include "win/Owners.h"

#include <windows.h>

#include <cstring>

int LastDelimiterPos(const std::string &text, const std::string &delimiters) {
  for (size_t i = text.size(); i > 0; --i)
    if (delimiters.find(text[i - 1]) != std::string::npos)
      return static_cast<int>(i);
  return static_cast<int>(text.size());
}

std::string ExtractDirectory(const std::string &path) {
  return path.substr(0, static_cast<size_t>(LastDelimiterPos(path, "\\:")));
}

bool FileExistsAt(const std::string &path) {
  WIN32_FIND_DATAA found;
  const win::FileSearch search(path.c_str(), found);
  return static_cast<bool>(search);
}

void AppendBackslash(std::string &path) {
  if (!path.empty() && path.back() != '\\')
    path += '\\';
}

namespace {

DWORD AskPlatform(TDirectoryKind kind, char *buffer, DWORD size) {
  switch (kind) {
  case dkWindows:
    return ::GetWindowsDirectoryA(buffer, size);
  case dkSystem:
    return ::GetSystemDirectoryA(buffer, size);
  case dkCurrent:
    return ::GetCurrentDirectoryA(size, buffer);
  case dkApplication:
    return ::GetModuleFileNameA(nullptr, buffer, size);
  case dkTemp:
    return ::GetTempPathA(size, buffer);
  }
  return 0;
}

} // namespace

std::string GetKnownDirectory(TDirectoryKind kind) {
  std::string text(261, '\0');
  DWORD length = AskPlatform(kind, &text[0], 260);
  if (length > 260) {
    // Too small: ask once more with the size the platform reported.
    text.assign(length + 1, '\0');
    length = AskPlatform(kind, &text[0], length);
  }
  text.resize(length < text.size() ? length : text.size());
  if (kind == dkApplication)
    text = ExtractDirectory(text);
  AppendBackslash(text);
  return text;
}

std::string FindTwainDirectory() {
  for (TDirectoryKind kind : {dkWindows, dkSystem, dkCurrent, dkApplication, dkTemp}) {
    std::string directory = GetKnownDirectory(kind);
    if (directory.empty())
      continue;
    if (FileExistsAt(directory + "TWAIN_32.DLL"))
      return directory;
  }
  return std::string();
}

long double Fix32AsFloat(uint32_t value) {
  int16_t whole = static_cast<int16_t>(value & 0xFFFFu);
  uint16_t frac = static_cast<uint16_t>(value >> 16);
  return static_cast<long double>(whole) + static_cast<long double>(frac) / 65536.0L;
}

long double Fix32AsFloat(TW_FIX32 value) {
  return static_cast<long double>(value.Whole) + static_cast<long double>(value.Frac) / 65536.0L;
}
