#include "app/uUtils.h"

#include <windows.h>

#include <shlobj.h>

#include <cctype>

std::string GetSpecialFolderPath(int folderId) {
  char path[MAX_PATH + 1] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, folderId, nullptr, 0, path)))
    return std::string();
  return std::string(path);
}

std::string IncludeTrailingPathDelimiter(const std::string &path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
    return path;
  return path + '\\';
}

std::string ApplicationTitle() {
  char path[MAX_PATH + 1] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  size_t dot = name.find('.');
  if (dot != std::string::npos)
    name.erase(dot);
  for (size_t i = 1; i < name.size(); ++i)
    name[i] = static_cast<char>(::tolower(static_cast<unsigned char>(name[i])));
  return name;
}
