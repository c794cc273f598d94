// Page-sized bitmap sections kept for the next page, for the whole process. A fresh A4 colour
// section is 25 MB that the system maps and zeroes page by page as the strips first touch it,
// which costs more than the strip copy itself. A page's section comes back here when its page is
// done: from the layer once the page handler has returned, or from whoever took the section over
// (the station's writer, once the page is on disk), on whatever thread that is.
#pragma once

#include "win/Owners.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class TPageSectionPool {
public:
  // Smaller sections cost little to make and are not kept.
  static constexpr size_t kMinimumBytes = 1u << 20;
  // Kept at most: the section the writer just gave back and a spare made ahead.
  static constexpr size_t kMaximumKept = 2;

  // A description: a BITMAPINFO (header and colour table) as CreateDIBSection takes it.
  using TDescription = std::vector<uint8_t>;

  static TPageSectionPool &Shared();
  ~TPageSectionPool();

  // A kept section made from the same description; `bits` gets its pixels, which hold whatever
  // the last page left. Null when none is kept.
  win::UniqueBitmap Take(const TDescription &description, uint8_t *&bits);
  // Keeps a section made from `description` for a later Take, or frees it.
  void Give(win::UniqueBitmap section, const TDescription &description);
  size_t KeptCount(const TDescription &description);

  // The description of the last page-sized section taken or made, and an event set after each.
  TDescription LastWanted();
  void NoteWanted(const TDescription &description);
  void NotifyWanted(HANDLE wanted);

  // Pixel bytes of a section made from the description; 0 when it describes none.
  static uint64_t PixelBytes(const TDescription &description);

private:
  TPageSectionPool() = default;

  struct TKept {
    win::UniqueBitmap Section;
    TDescription Description;
  };
  win::CriticalSection Guard;
  std::vector<TKept> Kept;
  TDescription Wanted;
  HANDLE WantedEvent = nullptr;
};

// A page's section taken over from the layer: it goes back to the pool when this is destroyed.
class TPooledSection {
public:
  TPooledSection() = default;
  TPooledSection(win::UniqueBitmap section, TPageSectionPool::TDescription description)
      : Section(std::move(section)), Description(std::move(description)) {}
  ~TPooledSection() { TPageSectionPool::Shared().Give(std::move(Section), Description); }
  TPooledSection(TPooledSection &&) = default;
  TPooledSection &operator=(TPooledSection &&) = delete;
  TPooledSection(const TPooledSection &) = delete;
  TPooledSection &operator=(const TPooledSection &) = delete;

  HBITMAP get() const { return Section.get(); }
  explicit operator bool() const { return static_cast<bool>(Section); }

private:
  win::UniqueBitmap Section;
  TPageSectionPool::TDescription Description;
};
