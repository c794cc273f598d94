// What the fixture's feeder holds and which faults it plays, read from tovik-fixture.conf in the
// first folder of SANE_CONFIG_DIR whenever a device is opened, started or its sensors are read:
//
//   sheets 4           sheets a load puts in the feeder
//   load 1             a value other than the last one seen loads the feeder again
//   jam-at 0           the Kth sheet fed jams (0: none); it is taken out, the rest stay
//   double-feed-at 0   the Kth sheet is fed with another under it: a double feed
//   cover-open no      every start finds the cover open
//   start-delay 0      seconds sane_start waits (for paper, a button) before it feeds
//   delay-at 0         only the start of the Kth sheet waits (0: every one)
//   plugged 1          appended to every device name: a USB device plugged in again is renamed
//   devices a,b        only these devices are listed (all when not given)
//
// What sane_start did is appended to tovik-fixture.log beside it, a line each: "waiting",
// "cancelled", "sheet K front", "sheet K back", "empty", "jam K", "double feed K", "cover open";
// each reading of the paper sensor, "paper sensed" or "no paper sensed"; and "closed" for
// sane_close, "exit" for SANE's exit.
#pragma once

#include <string>

namespace fixture {

struct Scenario {
  int sheets = 4;
  std::string load = "1";
  int jamAt = 0;
  int doubleFeedAt = 0;
  bool coverOpen = false;
  int startDelay = 0;
  int delayAt = 0;
  std::string plugged;
  std::string devices; // comma-separated; empty: all

  bool Lists(const std::string &device) const;
};

Scenario ReadScenario();
// Appends a line to the log beside the scenario.
void Log(const std::string &line);

} // namespace fixture
