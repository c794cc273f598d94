#include "twain/PageSections.h"

#include <algorithm>
#include <utility>

TPageSectionPool::TDescription SectionDescription(const TPageBitmapInfo &info) {
  // Every table entry CreateDIBSection will read from it: a count of 0 means the depth's full
  // table, and bit fields take three masks.
  const BITMAPINFOHEADER &header = info.Header;
  size_t entries = header.biClrUsed != 0    ? header.biClrUsed
                   : header.biBitCount <= 8 ? 1u << header.biBitCount
                                            : 0;
  if (header.biCompression == BI_BITFIELDS)
    entries = std::max<size_t>(entries, 3);
  entries = std::min<size_t>(entries, 256);
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&info);
  return TPageSectionPool::TDescription(bytes, bytes + sizeof header + entries * sizeof(RGBQUAD));
}

win::UniqueBitmap MakePageSection(const TPageSectionPool::TDescription &description, HWND window,
                                  uint8_t *&bits, bool &reused) {
  TPageSectionPool &pool = TPageSectionPool::Shared();
  win::UniqueBitmap kept = pool.Take(description, bits);
  pool.NoteWanted(description); // after the take: a keeper then sees what the next page will find
  if (kept) {
    reused = true;
    return kept;
  }
  void *made = nullptr;
  win::UniqueBitmap fresh;
  {
    win::WindowDC dc(window);
    fresh.reset(::CreateDIBSection(dc.get(), reinterpret_cast<const BITMAPINFO *>(description.data()),
                                   DIB_RGB_COLORS, &made, nullptr, 0));
  }
  if (!fresh || !made)
    return win::UniqueBitmap();
  bits = static_cast<uint8_t *>(made);
  reused = false;
  return fresh;
}

void KeepPageSection(win::UniqueBitmap section, const TPageSectionPool::TDescription &description) {
  TPageSectionPool::Shared().Give(std::move(section), description);
}
