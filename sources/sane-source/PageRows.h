// SANE frames turned into a page in TWAIN's layout. Pure functions over the bytes a backend
// delivered: every size they use is checked against the length of those bytes, never taken on
// trust from the backend's parameters.
#pragma once

#include "sources/sane-source/SaneValues.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sanesrc {

// What sane_get_parameters said about one frame (lines -1: the device did not know in advance).
struct FrameShape {
  SaneFrame format = SaneFrame::Gray;
  bool lastFrame = true;
  int bytesPerLine = 0;
  int pixelsPerLine = 0;
  int lines = 0;
  int depth = 0;
};

// A page as TWAIN's memory transfer hands it over: rows top to bottom without padding, samples
// in red, green, blue order, and 1-bit pixels with 0 as black.
struct PageRows {
  uint32_t width = 0;
  uint32_t rows = 0;
  int samplesPerPixel = 0;
  int bitsPerSample = 0;
  uint32_t bytesPerRow = 0;
  std::vector<uint8_t> bytes; // rows * bytesPerRow
  bool lengthKnown = true;    // false when the device announced -1 lines: rows is what arrived
  int framesSeen = 0;         // of a three-pass page: a bit per red, green, blue frame

  bool Complete() const { return framesSeen == 0 ? samplesPerPixel > 0 : framesSeen == 7; }
};

// Largest page the bridge holds in memory.
constexpr size_t kMaxPageBytes = size_t{1} << 30;

// Adds one frame of `size` bytes at `data` to `page`. A grey or RGB frame is the whole page; a
// red, green or blue frame fills its channel of an RGB page set up by the first of them. The rows
// are those the frame announced, or as many whole lines as arrived when it announced -1 or sent
// fewer. False (page unchanged) for a shape the bridge cannot lay out: no pixels, a line shorter
// than its pixels, a depth other than 1, 8 or 16, one-bit colour, or a channel frame that does
// not match the page's width.
bool AddFrame(PageRows &page, const FrameShape &shape, const uint8_t *data, size_t size);

// The page as a packed device-independent bitmap (header, palette, rows bottom up, each padded
// to 4 bytes, blue-green-red), as a native transfer hands it over. 16-bit samples keep their high
// byte. Empty when the page is empty, too large, or its fields disagree with its bytes.
std::vector<uint8_t> PackedDib(const PageRows &page, int xDotsPerInch, int yDotsPerInch);

} // namespace sanesrc
