// The scan cases scripts/sane-test.sh prepared: the bridge's configuration of each and the page
// scanimage gave for the same options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sanetest {

// "<cases folder>\<name><ext>"; the folder comes from TOVIK_SANE_CASES.
std::string CasePath(const std::string &name, const std::string &ext);
// Makes the bridge (in this process and those it starts) read the case's configuration.
void UseCase(const std::string &name);

// A PNM page (P4, P5 or P6) as rows without padding; for P4 the bits as written (1 = black).
struct PnmPage {
  bool ok = false;
  char kind = 0; // '4', '5' or '6'
  uint32_t width = 0, height = 0;
  uint32_t bytesPerRow = 0;
  std::vector<uint8_t> rows;
};
PnmPage ReadPnm(const std::string &path);

// "<temporary folder>\\<name>", made if missing and emptied of files: where a station writes pages.
std::string EmptyTempFolder(const std::string &name);

} // namespace sanetest
