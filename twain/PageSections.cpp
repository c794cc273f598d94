#include "twain/PageSections.h"

#include "twain/StripCopy.h"

#include <cstring>
#include <utility>

namespace {

size_t ColorBytes(const BITMAPINFOHEADER &header) {
  return (header.biClrUsed <= 256 ? header.biClrUsed : 256) * sizeof(RGBQUAD);
}

bool SameDescription(const TPageBitmapInfo &a, const TPageBitmapInfo &b) {
  return std::memcmp(&a.Header, &b.Header, sizeof a.Header) == 0 &&
         std::memcmp(a.Colors, b.Colors, ColorBytes(a.Header)) == 0;
}

} // namespace

win::UniqueBitmap TPageSections::Take(const TPageBitmapInfo &info, HWND window, uint8_t *&bits,
                                      bool &reused) {
  if (kept_ && SameDescription(info, keptInfo_)) {
    DIBSECTION section;
    std::memset(&section, 0, sizeof section);
    if (::GetObjectA(kept_.get(), sizeof section, &section) == static_cast<int>(sizeof section) &&
        section.dsBm.bmBits) {
      bits = static_cast<uint8_t *>(section.dsBm.bmBits);
      reused = true;
      return std::move(kept_);
    }
  }
  kept_.reset(); // never two pages' worth at once
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

void TPageSections::Give(win::UniqueBitmap section, const TPageBitmapInfo &info) {
  const BITMAPINFOHEADER &header = info.Header;
  const uint64_t bytes =
      static_cast<uint64_t>(DibRowStride(header.biBitCount, static_cast<uint32_t>(header.biWidth))) *
      static_cast<uint64_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
  if (!section || bytes < kMinimumBytes)
    return;
  kept_ = std::move(section);
  keptInfo_ = info;
}
