// The bitmap section of a memory transfer's page, kept from one page of a batch to the next. A
// fresh A4 colour section is 25 MB that the system maps and zeroes page by page as the strips
// first touch it, which costs more than the strip copy itself. The pages of a batch are nearly
// always alike, and the layer has each page's section back once its handler has returned (a
// handler copies what it keeps), so the section serves the next page.
#pragma once

#include "twain/PageHeader.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

class TPageSections {
public:
  // Smaller sections cost little to make and are not kept.
  static constexpr size_t kMinimumBytes = 1u << 20;

  // A section for the page `info` describes (header and biClrUsed colours, as CreateDIBSection
  // takes them): the kept one when it was made from the same description, else a new one made
  // with a device context of `window`. `bits` gets its pixels, and `reused` whether they hold an
  // earlier page. Null when no section can be made.
  win::UniqueBitmap Take(const TPageBitmapInfo &info, HWND window, uint8_t *&bits, bool &reused);
  // Keeps the section of a page that `info` describes for the next page, or frees it.
  void Give(win::UniqueBitmap section, const TPageBitmapInfo &info);

private:
  win::UniqueBitmap kept_;
  TPageBitmapInfo keptInfo_{};
};
