#include "twain/PageSections.h"

#include <utility>

TPageSectionPool::TDescription SectionDescription(const TPageBitmapInfo &info) {
  const size_t colours = info.Header.biClrUsed <= 256 ? info.Header.biClrUsed : 256;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&info);
  return TPageSectionPool::TDescription(bytes, bytes + sizeof info.Header + colours * sizeof(RGBQUAD));
}

win::UniqueBitmap MakePageSection(const TPageBitmapInfo &info, HWND window, uint8_t *&bits, bool &reused) {
  TPageSectionPool &pool = TPageSectionPool::Shared();
  const TPageSectionPool::TDescription description = SectionDescription(info);
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
    fresh.reset(::CreateDIBSection(dc.get(), reinterpret_cast<const BITMAPINFO *>(&info), DIB_RGB_COLORS,
                                   &made, nullptr, 0));
  }
  if (!fresh || !made)
    return win::UniqueBitmap();
  bits = static_cast<uint8_t *>(made);
  reused = false;
  return fresh;
}

void KeepPageSection(win::UniqueBitmap section, const TPageBitmapInfo &info) {
  TPageSectionPool::Shared().Give(std::move(section), SectionDescription(info));
}
