// A station started on the virtual scanner with a scenario of the test's own, an output folder
// typed into the window, and the written pages and scanner log to look at afterwards.
#pragma once

#include "tests/fixtures/station-driver/StationDriver.h"
#include "tests/support/ScannerScenario.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2escan {

// One written page, parsed from its name "Scan" + 17-digit stamp + side letter + ".jpg".
struct ScannedPage {
  std::string path;
  std::string stamp;
  char side = 0; // 'F' or 'B'
};

// Where the station keeps its crash journal: the user's own application data.
std::string JournalFolder();

// Pages in the folder, in scanning order: by stamp, a front before its back. Files whose names
// do not follow the pattern are returned with an empty stamp first, so that tests notice them.
std::vector<ScannedPage> ScannedPages(const std::string &folder);
// The virtual scanner's log entries with these names, e.g. "CONTROL/USERINTERFACE/ENABLEDS".
std::vector<testsupport::LoggedTriplet> Entries(const std::vector<testsupport::LoggedTriplet> &log,
                                                const std::string &names);

// Every sheet of SmallPages gave a front and a back named with one stamp, and each page holds
// the pattern of its page number and side, the right way up.
void ExpectDuplexPages(const std::vector<ScannedPage> &pages, size_t sheets);
// The same for the first pages of SmallPages' batch, however many there are.
void ExpectFirstDuplexPages(const std::vector<ScannedPage> &pages);

class ScanStationTest : public ::testing::Test {
protected:
  ScanStationTest();
  ~ScanStationTest() override;

  // A scenario with small duplex pages that logs every triplet into this test's log.
  testsupport::ScannerScenario SmallPages(int sheets) const;
  // Writes the scenario, starts the station on it and waits for its window.
  void Start(const testsupport::ScannerScenario &scenario, const e2e::StationDriver::Environment &more = {});
  // Types the folder into the output field, as a person would (the folder exists).
  void TypeOutputFolder(const std::string &folder);
  void TypeOutputFolder() { TypeOutputFolder(OutputFolder); }

  bool WaitForPages(size_t count, DWORD timeoutMs = e2e::kWaitMs) const;
  std::vector<testsupport::LoggedTriplet> Log() const { return testsupport::ReadTripletLog(LogPath); }
  size_t CountInLog(const std::string &names) const { return Entries(Log(), names).size(); }
  bool WaitForLog(const std::string &names, size_t count, DWORD timeoutMs = e2e::kWaitMs) const;
  void CloseStation();

  e2e::StationDriver Station;
  std::string OutputFolder; // fresh and empty for every test
  std::string LogPath;
  std::string ScenarioPath;
};

} // namespace e2escan
