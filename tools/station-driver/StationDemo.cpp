// A short demonstration of the station, driven from outside as a person would: start it, type
// the output folder, tick "Auto", let the scanner's feeder run empty, close the window.
// Usage: StationDemo.exe STATION_EXE OUTPUT_FOLDER PAGES
// Prints the files written; exit code 0 when every page arrived.
#include "tools/station-driver/StationDriver.h"

#include "app/ControlIds.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

using namespace e2e;
using namespace station;

namespace {

constexpr DWORD kScanTimeoutMs = 120000;

std::set<std::string> ScannedFiles(const std::string &folder) {
  const std::vector<std::string> names = FilesIn(folder, "Scan*.jpg");
  return std::set<std::string>(names.begin(), names.end());
}

int RunDemo(const std::string &stationExe, const std::string &folder, size_t pages) {
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::set<std::string> before = ScannedFiles(folder);
  auto newFiles = [&] {
    std::set<std::string> added;
    for (const std::string &name : ScannedFiles(folder))
      if (!before.count(name))
        added.insert(name);
    return added;
  };

  StationDriver station(stationExe);
  if (!station.Start()) {
    std::printf("demo: cannot start %s\n", stationExe.c_str());
    return 1;
  }
  // Either the window comes up, or the station first says it found no scanner.
  HWND box = nullptr;
  WaitFor([&] {
    box = station.WaitForMessageBox(0);
    return box || (station.WaitForWindow(0) && ::IsWindowVisible(station.Window()));
  });
  if (box) {
    std::printf("demo: the station says: %s\n", StationDriver::MessageBoxText(box).c_str());
    StationDriver::PressOk(box);
    station.WaitUntilShown();
    station.Close();
    return 1;
  }
  if (!station.WaitUntilShown()) {
    std::printf("demo: the station's window did not appear\n");
    return 1;
  }
  std::printf("demo: station is up; output folder %s; ticking Auto\n", folder.c_str());
  std::fflush(stdout);
  station.SetText(idEDir, folder);
  station.Click(idCbAuto);

  const bool allArrived = WaitFor([&] { return newFiles().size() >= pages; }, kScanTimeoutMs);
  // Untick Auto before closing, as a person leaving the station would.
  station.Click(idCbAuto);
  WaitFor([&] { return !station.IsTicked(idCbAuto); }, 5000);
  const std::string status = station.Text(idLbStatus);
  if (!station.Close()) {
    std::printf("demo: the station did not close\n");
    return 1;
  }
  const std::set<std::string> written = newFiles();
  for (const std::string &name : written)
    std::printf("demo: wrote %s\\%s\n", folder.c_str(), name.c_str());
  if (!status.empty())
    std::printf("demo: status line: %s\n", status.c_str());
  std::printf("demo: %u of %u pages written\n", static_cast<unsigned>(written.size()),
              static_cast<unsigned>(pages));
  return allArrived && written.size() >= pages ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::printf("usage: StationDemo.exe STATION_EXE OUTPUT_FOLDER PAGES\n");
    return 2;
  }
  return RunDemo(argv[1], argv[2], static_cast<size_t>(std::strtoul(argv[3], nullptr, 10)));
}
