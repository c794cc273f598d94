// Test helpers for the virtual KV-S scanner: write a scenario file, point the scanner at it
// (TOVIK_VSCANNER_SCENARIO, inherited by child processes), and read back its triplet log.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A scenario built key by key (keys as in sources/virtual-scanner/README.md), e.g.
//   ScannerScenario().Set("sheets", 2).Set("pixel_type", "gray").Fault("IMAGE/IMAGEINFO/GET rc=FAILURE
//   cc=BUMMER")
class ScannerScenario {
public:
  ScannerScenario &Set(const std::string &key, const std::string &value);
  ScannerScenario &Set(const std::string &key, long long value);
  ScannerScenario &Devices(const std::vector<std::string> &names);
  ScannerScenario &Fault(const std::string &spec);
  ScannerScenario &Log(const std::string &path) { return Set("log", path); }

  std::string Text() const;
  bool WriteTo(const std::string &path) const;
  // Writes the scenario to %TEMP%\<name> and points TOVIK_VSCANNER_SCENARIO at it; returns the path.
  std::string Install(const std::string &name) const;

private:
  std::vector<std::pair<std::string, std::string>> lines_;
};

// A path in the temporary folder; the file is deleted first so each test starts clean.
std::string FreshTempFile(const std::string &name);

// Points the virtual scanner of this process and its children at a scenario file ("" unsets).
void UseScenarioFile(const std::string &path);

// One line of the triplet log.
struct LoggedTriplet {
  std::string direction; // "in", "out" or "note"
  std::string names;     // e.g. "CONTROL/USERINTERFACE/ENABLEDS"
  uint32_t dg = 0;
  uint16_t dat = 0;
  uint16_t msg = 0;
  uint16_t rc = 0;
  uint16_t cc = 0;
  std::map<std::string, std::string> notes; // key=value notes; quoted values without their quotes
  std::string line;

  bool Is(uint32_t g, uint16_t d, uint16_t m) const { return dg == g && dat == d && msg == m; }
  std::string Note(const std::string &key) const {
    auto it = notes.find(key);
    return it == notes.end() ? std::string() : it->second;
  }
};

LoggedTriplet ParseTripletLine(const std::string &line);
std::vector<LoggedTriplet> ReadTripletLog(const std::string &path);

} // namespace testsupport
