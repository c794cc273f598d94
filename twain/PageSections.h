// The bitmap section of a memory transfer's page, taken from the process's section pool when one
// made from the same description is kept there, and given back when the page is done with it.
// The pages of a batch are nearly always alike, so a page's section nearly always serves a later
// page.
#pragma once

#include "twain/PageHeader.h"
#include "twain/PageSectionPool.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The description a section made for the page `info` describes: its header and every table entry
// the header calls for.
TPageSectionPool::TDescription SectionDescription(const TPageBitmapInfo &info);

// A section made from `description` (SectionDescription): a kept one when there is one, else a new
// one made with a device context of `window`. `bits` gets its pixels, and `reused` whether they
// may hold an earlier page. Null when no section can be made.
win::UniqueBitmap MakePageSection(const TPageSectionPool::TDescription &description, HWND window,
                                  uint8_t *&bits, bool &reused);
// Keeps a page's section made from `description` for a later page, or frees it.
void KeepPageSection(win::UniqueBitmap section, const TPageSectionPool::TDescription &description);
