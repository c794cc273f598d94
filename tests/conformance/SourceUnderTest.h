// Which of our data sources the conformance program drives (TOVIK_CONFORMANCE_SOURCE: "virtual",
// "sane", or "fixture": the SANE source on the fixture backend's KV-S1025C), set up so that it can scan again
// and again: its product name, and the page every scan gives where one is known in advance.
#pragma once

#include "twain/TwainRecords.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace conformance {

// The pixels of a page, top row first, samples as a memory transfer sends them (RGB red first,
// 1-bit pixels with 0 as black), rows without padding.
struct Pixels {
  int width = 0, height = 0, bits = 0;
  std::vector<uint8_t> rows;
};

struct SourceUnderTest {
  std::string kind;        // "virtual", "sane" or "fixture"
  std::string productName; // as listed by the source manager
  // The N-th page scanned since the source was opened (from 1).
  std::function<Pixels(int page)> expectedPage;
  // Puts `sheets` sheets in the feeder (a device that refills by itself ignores it); `more` are
  // the fixture scenario's other lines.
  std::function<void(int sheets, const std::string &more)> loadFeeder = [](int, const std::string &) {};
  // What the device itself recorded (set options, sheets and sides fed); empty where it records
  // nothing.
  std::function<std::string()> deviceLog = [] { return std::string(); };
  // The record's line for a capability's value, as "option NAME = VALUE"; empty where the value
  // leaves none.
  std::function<std::string(TW_UINT16 cap, double value)> optionLine = [](TW_UINT16, double) {
    return std::string();
  };
};

// Prepares the source (the virtual scanner's scenario, the SANE source's configuration) for this
// process and returns it.
SourceUnderTest PrepareSource();

} // namespace conformance
