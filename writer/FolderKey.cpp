#include "writer/FolderKey.h"

#include <windows.h>

std::string FolderKey(const std::string &folder) {
  std::string key;
  key.reserve(folder.size());
  for (size_t i = 0; i < folder.size(); ++i) {
    const char c = folder[i] == '/' ? '\\' : folder[i];
    // "\\server\share" begins with two; anywhere else a run counts as one.
    if (c == '\\' && !key.empty() && key.back() == '\\' && !(i == 1 && key.size() == 1))
      continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == '\\' && key != "\\\\")
    key.pop_back();
  if (!key.empty())
    ::CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
  return key;
}
