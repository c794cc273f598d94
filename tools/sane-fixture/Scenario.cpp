#include "tools/sane-fixture/Scenario.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fixture {

namespace {

std::string Folder() {
  const char *dirs = std::getenv("SANE_CONFIG_DIR");
  const std::string dir = dirs ? dirs : "/etc/sane.d";
  return dir.substr(0, dir.find(':'));
}

} // namespace

bool Scenario::Lists(const std::string &device) const {
  return devices.empty() || ("," + devices + ",").find("," + device + ",") != std::string::npos;
}

void Log(const std::string &line) {
  std::ofstream out(Folder() + "/tovik-fixture.log", std::ios::app);
  out << line << "\n";
}

Scenario ReadScenario() {
  Scenario s;
  std::ifstream in(Folder() + "/tovik-fixture.conf");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, value;
    if (!(words >> key >> value) || key[0] == '#')
      continue;
    const int number = std::atoi(value.c_str());
    if (key == "sheets")
      s.sheets = number < 0 ? 0 : number;
    else if (key == "load")
      s.load = value;
    else if (key == "jam-at")
      s.jamAt = number;
    else if (key == "double-feed-at")
      s.doubleFeedAt = number;
    else if (key == "cover-open")
      s.coverOpen = value == "yes" || value == "1" || value == "true";
    else if (key == "devices")
      s.devices = value;
    else if (key == "plugged")
      s.plugged = value;
    else if (key == "delay-at")
      s.delayAt = number;
    else if (key == "start-delay")
      s.startDelay = number < 0 ? 0 : number;
  }
  return s;
}

} // namespace fixture
