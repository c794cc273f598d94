// The triplet log: one line per triplet the data source receives ("in") or sends to the source
// manager ("out"), appended and flushed line by line so that a test can read it while the
// program still runs. Line format (README.md):
//   in CONTROL/USERINTERFACE/ENABLEDS 0x1/0x0009/0x0502 rc=0 cc=0 ShowUI=1 ModalUI=0 hParent=0x0001002A
#pragma once

#include <cstdint>
#include <string>

namespace vscan {

class TripletLog {
public:
  // An empty path turns the log off.
  void SetPath(const std::string &path) { path_ = path; }
  const std::string &Path() const { return path_; }
  bool On() const { return !path_.empty(); }

  void Write(const char *direction, uint32_t dg, uint16_t dat, uint16_t msg, uint16_t rc, uint16_t cc,
             const std::string &notes) const;

private:
  std::string path_;
};

// The text of one log line (without the line end).
std::string FormatTriplet(const char *direction, uint32_t dg, uint16_t dat, uint16_t msg, uint16_t rc,
                          uint16_t cc, const std::string &notes);

} // namespace vscan
