#include "tools/sane-fixture/Scenario.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fixture {

Scenario ReadScenario() {
  Scenario s;
  const char *dirs = std::getenv("SANE_CONFIG_DIR");
  std::string dir = dirs ? dirs : "/etc/sane.d";
  dir = dir.substr(0, dir.find(':'));
  std::ifstream in(dir + "/tovik-fixture.conf");
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
    else if (key == "plugged")
      s.plugged = value;
    else if (key == "start-delay")
      s.startDelay = number < 0 ? 0 : number;
  }
  return s;
}

} // namespace fixture
