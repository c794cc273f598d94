// A fresh folder under %TEMP% for one test, removed with its files afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TempFolder {
public:
  TempFolder() {
    char base[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    path_ = std::string(base) + "tovik-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(::InterlockedIncrement(&counter));
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string &name : Files())
      ::DeleteFileA((path_ + "\\" + name).c_str());
    ::RemoveDirectoryA(path_.c_str());
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &Path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + "\\" + name; }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
      return names;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        names.emplace_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
  }

private:
  std::string path_;
};
