#include "bench/TempFolder.h"

#include <windows.h>

#include <functional>

namespace {
void ForEachFile(const std::string &folder, const std::function<void(const std::string &)> &action) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      action(folder + "\\" + found.cFileName);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}
} // namespace

TBenchFolder::TBenchFolder(const std::string &name) {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  Folder = std::string(temp) + name + "-" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(Folder.c_str(), nullptr);
}

TBenchFolder::~TBenchFolder() {
  Empty();
  ::RemoveDirectoryA(Folder.c_str());
}

void TBenchFolder::Empty() const {
  ForEachFile(Folder, [](const std::string &file) { ::DeleteFileA(file.c_str()); });
}

std::vector<std::string> TBenchFolder::FileNames() const {
  std::vector<std::string> names;
  ForEachFile(Folder, [&](const std::string &file) { names.push_back(file.substr(Folder.size() + 1)); });
  return names;
}

int TBenchFolder::FileCount() const {
  int count = 0;
  ForEachFile(Folder, [&](const std::string &) { ++count; });
  return count;
}
