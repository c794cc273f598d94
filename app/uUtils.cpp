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

static bool DirectoryExists(const std::string &path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string &path) {
  std::string folder = path;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  if (folder.empty() || DirectoryExists(folder))
    return true;
  size_t cut = folder.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':' &&
      !ForceDirectories(folder.substr(0, cut)))
    return false;
  return ::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
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
