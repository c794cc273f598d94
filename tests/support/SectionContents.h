// What a page bitmap section holds, read back for comparison: rows top first, colour table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace testsupport {

struct SectionContents {
  LONG width = 0;
  LONG height = 0;
  WORD bitCount = 0;
  BITMAPINFOHEADER header{};
  std::vector<std::vector<uint8_t>> rows; // top row of the image first, each a whole stride
  std::vector<RGBQUAD> colors;
};

// Empty contents when the handle is not a bitmap section.
SectionContents ReadSectionContents(HBITMAP bitmap);

} // namespace testsupport
