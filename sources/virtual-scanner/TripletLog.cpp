#include "sources/virtual-scanner/TripletLog.h"

#include "sources/virtual-scanner/TripletNames.h"

#include <cstdio>
#include <memory>

namespace vscan {

std::string FormatTriplet(const char *direction, uint32_t dg, uint16_t dat, uint16_t msg, uint16_t rc,
                          uint16_t cc, const std::string &notes) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " 0x%X/0x%04X/0x%04X rc=%u cc=%u", static_cast<unsigned>(dg), dat,
                msg, rc, cc);
  std::string line = direction;
  line += ' ';
  line += NameOf(NameKind::Dg, dg) + "/" + NameOf(NameKind::Dat, dat) + "/" + NameOf(NameKind::Msg, msg);
  line += numbers;
  if (!notes.empty())
    line += " " + notes;
  return line;
}

void TripletLog::Write(const char *direction, uint32_t dg, uint16_t dat, uint16_t msg, uint16_t rc,
                       uint16_t cc, const std::string &notes) const {
  if (path_.empty())
    return;
  // Opened per line: the file is complete after every triplet, even if the process dies.
  std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path_.c_str(), "ab"), &std::fclose);
  if (!file)
    return;
  const std::string line = FormatTriplet(direction, dg, dat, msg, rc, cc, notes) + "\r\n";
  std::fwrite(line.data(), 1, line.size(), file.get());
}

} // namespace vscan
