// Which of our data sources the conformance program drives (TOVIK_CONFORMANCE_SOURCE: "virtual"
// or "sane"), set up so that it can scan again and again: its product name, and the page every
// scan gives where one is known in advance.
#pragma once

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
  std::string kind;        // "virtual" or "sane"
  std::string productName; // as listed by the source manager
  // The N-th page scanned since the source was opened (from 1).
  std::function<Pixels(int page)> expectedPage;
};

// Prepares the source (the virtual scanner's scenario, the SANE source's configuration) for this
// process and returns it.
SourceUnderTest PrepareSource();

} // namespace conformance
