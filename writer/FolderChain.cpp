#include "writer/FolderChain.h"

#include <windows.h>

namespace {

bool DirectoryExists(const std::string &path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

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
  // Made meanwhile by someone else, or a file of that name in the way (then it is no folder).
  return ::CreateDirectoryA(folder.c_str(), nullptr) || DirectoryExists(folder);
}
