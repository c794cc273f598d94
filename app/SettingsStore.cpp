#include "app/SettingsStore.h"

#include "app/uUtils.h"
#include "win/Owners.h"

#include <windows.h>

#include <utility>

TSettingsStore::TSettingsStore(TFileNameRequest fileNameRequest, std::string defaultSection)
    : FileNameRequest(std::move(fileNameRequest)), DefaultSection(std::move(defaultSection)) {}

TSettingsStore::~TSettingsStore() {
  try {
    WritePending();
  } catch (...) {
    // A destructor has no one to report to; the settings are simply not saved.
  }
}

std::string TSettingsStore::FileName() const { return FileNameRequest ? FileNameRequest() : std::string(); }

std::string TSettingsStore::ReadString(const std::string &key, const std::string &def) const {
  for (auto it = Pending.rbegin(); it != Pending.rend(); ++it)
    if (it->Section == DefaultSection && it->Key == key)
      return it->Value;
  std::string file = FileName();
  // The profile API truncates silently; grow until the value fits.
  for (DWORD size = 512; size <= 1u << 20; size *= 2) {
    std::string buffer(size, '\0');
    DWORD length = ::GetPrivateProfileStringA(DefaultSection.c_str(), key.c_str(), def.c_str(), &buffer[0],
                                              size, file.c_str());
    if (length < size - 1) {
      buffer.resize(length);
      return buffer;
    }
  }
  return def;
}

void TSettingsStore::WriteString(const std::string &key, const std::string &value) {
  for (TPendingValue &v : Pending)
    if (v.Section == DefaultSection && v.Key == key) {
      v.Value = value;
      return;
    }
  Pending.push_back({DefaultSection, key, value});
}

bool TSettingsStore::WritePending() const {
  if (Pending.empty())
    return true;
  std::string file = FileName();
  size_t cut = file.find_last_of("\\/");
  if (cut != std::string::npos)
    ForceDirectories(file.substr(0, cut));
  // The profile API may say it wrote a file that it could not even open: ask the file first.
  {
    win::UniqueFile probe(::CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe)
      return false;
  }
  bool written = true;
  for (const TPendingValue &v : Pending)
    written = ::WritePrivateProfileStringA(v.Section.c_str(), v.Key.c_str(), v.Value.c_str(), file.c_str()) &&
              written;
  return written;
}
