#include "twain/PageSectionPool.h"

#include "twain/StripCopy.h"

#include <cstring>
#include <utility>

namespace {

uint8_t *SectionBits(HBITMAP section) {
  DIBSECTION description;
  std::memset(&description, 0, sizeof description);
  if (::GetObjectA(section, sizeof description, &description) != static_cast<int>(sizeof description))
    return nullptr;
  return static_cast<uint8_t *>(description.dsBm.bmBits);
}

} // namespace

TPageSectionPool &TPageSectionPool::Shared() {
  static TPageSectionPool pool;
  return pool;
}

TPageSectionPool::~TPageSectionPool() = default;

uint64_t TPageSectionPool::PixelBytes(const TDescription &description) {
  if (description.size() < sizeof(BITMAPINFOHEADER))
    return 0;
  BITMAPINFOHEADER header;
  std::memcpy(&header, description.data(), sizeof header);
  if (header.biWidth <= 0)
    return 0;
  const uint64_t rows =
      static_cast<uint64_t>(header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight);
  return static_cast<uint64_t>(DibRowStride(header.biBitCount, static_cast<uint32_t>(header.biWidth))) * rows;
}

win::UniqueBitmap TPageSectionPool::Take(const TDescription &description, uint8_t *&bits) {
  win::UniqueBitmap found;
  {
    win::Lock lock(Guard);
    for (auto it = Kept.begin(); it != Kept.end(); ++it)
      if (it->Description == description) {
        found = std::move(it->Section);
        Kept.erase(it);
        break;
      }
  }
  bits = found ? SectionBits(found.get()) : nullptr;
  if (!bits)
    found.reset();
  return found;
}

void TPageSectionPool::Give(win::UniqueBitmap section, const TDescription &description) {
  if (!section || PixelBytes(description) < kMinimumBytes)
    return;
  win::UniqueBitmap oldest; // freed outside the lock
  win::Lock lock(Guard);
  // The newest sections are the likeliest to match the next page: a change of page size or
  // colour mode replaces the kept ones instead of leaving them unused.
  if (Kept.size() >= kMaximumKept) {
    oldest = std::move(Kept.front().Section);
    Kept.erase(Kept.begin());
  }
  Kept.push_back({std::move(section), description});
}

size_t TPageSectionPool::KeptCount(const TDescription &description) {
  win::Lock lock(Guard);
  size_t count = 0;
  for (const TKept &kept : Kept)
    count += kept.Description == description ? 1 : 0;
  return count;
}

TPageSectionPool::TDescription TPageSectionPool::LastWanted() {
  win::Lock lock(Guard);
  return Wanted;
}

void TPageSectionPool::NoteWanted(const TDescription &description) {
  if (PixelBytes(description) < kMinimumBytes)
    return;
  win::Lock lock(Guard);
  if (Wanted != description)
    Wanted = description;
  if (WantedEvent)
    ::SetEvent(WantedEvent);
}

void TPageSectionPool::NotifyWanted(HANDLE wanted) {
  win::Lock lock(Guard);
  WantedEvent = wanted;
}
