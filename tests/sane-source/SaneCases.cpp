#include "tests/sane-source/SaneCases.h"

#include "tests/fixtures/station-driver/StationDriver.h"

#include <windows.h>

#include <cctype>

namespace sanetest {

std::string CasePath(const std::string &name, const std::string &ext) {
  char folder[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA("TOVIK_SANE_CASES", folder, MAX_PATH);
  return std::string(folder, n < MAX_PATH ? n : 0) + "\\" + name + ext;
}

void UseCase(const std::string &name) {
  ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", CasePath(name, ".ini").c_str());
}

PnmPage ReadPnm(const std::string &path) {
  const std::string text = e2e::ReadFileText(path);
  PnmPage page;
  size_t at = 2;
  auto number = [&](uint32_t &value) {
    for (;;) { // white space and comments before each number
      while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
      if (at < text.size() && text[at] == '#')
        at = text.find('\n', at);
      else
        break;
    }
    size_t digits = 0;
    value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 9;
         ++at, ++digits)
      value = value * 10 + uint32_t(text[at] - '0');
    return digits > 0;
  };
  if (text.size() < 2 || text[0] != 'P' || (text[1] != '4' && text[1] != '5' && text[1] != '6'))
    return page;
  page.kind = text[1];
  uint32_t maxval = 1;
  if (!number(page.width) || !number(page.height) || (page.kind != '4' && (!number(maxval) || maxval != 255)))
    return page;
  ++at; // the single white space before the data
  page.bytesPerRow = page.kind == '4' ? (page.width + 7) / 8 : page.width * (page.kind == '6' ? 3 : 1);
  const size_t size = size_t(page.bytesPerRow) * page.height;
  if (at > text.size() || text.size() - at != size)
    return page;
  page.rows.assign(text.begin() + static_cast<std::ptrdiff_t>(at), text.end());
  page.ok = true;
  return page;
}

std::string EmptyTempFolder(const std::string &name) {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + name;
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const std::string &file : e2e::FilesIn(folder))
    ::DeleteFileA((folder + "\\" + file).c_str());
  return folder;
}

} // namespace sanetest
