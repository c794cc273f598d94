#include "tests/support/SectionContents.h"

#include "win/Owners.h"

namespace testsupport {

SectionContents ReadSectionContents(HBITMAP bitmap) {
  SectionContents contents;
  DIBSECTION section;
  if (::GetObjectA(bitmap, sizeof section, &section) != static_cast<int>(sizeof section))
    return contents;
  contents.width = section.dsBm.bmWidth;
  contents.height = section.dsBm.bmHeight;
  contents.bitCount = section.dsBm.bmBitsPixel;
  contents.header = section.dsBmih;
  const uint8_t *bits = static_cast<const uint8_t *>(section.dsBm.bmBits);
  const size_t stride = static_cast<size_t>(section.dsBm.bmWidthBytes);
  for (LONG r = 0; r < contents.height; ++r) {
    const uint8_t *row = bits + stride * static_cast<size_t>(contents.height - 1 - r);
    contents.rows.emplace_back(row, row + stride);
  }
  win::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  win::SelectGuard select(dc.get(), bitmap);
  RGBQUAD table[256];
  const UINT n = ::GetDIBColorTable(dc.get(), 0, 256, table);
  contents.colors.assign(table, table + n);
  return contents;
}

} // namespace testsupport
