// Page-sized FreeImage bitmaps kept for the next page. A fresh A4 colour page is 25 MB that
// must be allocated and zero-filled (page faults, under Wine above all) on the scanning thread;
// a bitmap the writer has finished with costs nothing to take again.
#pragma once

#include "win/Owners.h"

#include <FreeImage.h>

#include <cstddef>
#include <vector>

class TPageBitmapPool {
public:
  // Smaller bitmaps are cheap to allocate and not kept.
  static constexpr size_t kMinimumBytes = 1u << 20;
  // Kept at most: enough for the page being written while the next one is imported.
  static constexpr size_t kMaximumKept = 2;

  static TPageBitmapPool &Shared();
  ~TPageBitmapPool();

  // A kept standard bitmap of exactly this size and depth, with the header and palette that
  // FreeImage_Allocate gives; its pixels are whatever the last page left. Null when none fits.
  FIBITMAP *Take(int width, int height, int bpp);
  // Keeps a standard bitmap for a later Take, or unloads it.
  void Give(FIBITMAP *image);
  size_t KeptCount();

private:
  TPageBitmapPool() = default;
  win::CriticalSection Guard;
  std::vector<FIBITMAP *> Kept;
};
