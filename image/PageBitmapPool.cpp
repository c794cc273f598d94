#include "image/PageBitmapPool.h"

#include <cstring>

namespace {

bool Keepable(FIBITMAP *image) {
  return FreeImage_GetImageType(image) == FIT_BITMAP && FreeImage_HasPixels(image) &&
         !FreeImage_GetICCProfile(image)->data &&
         static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image) >=
             TPageBitmapPool::kMinimumBytes &&
         FreeImage_GetBPP(image) != 16 && FreeImage_GetBPP(image) != 32; // no colour masks to restore
}

// The header and palette a fresh FreeImage_Allocate gives, so a kept bitmap cannot tell.
void ResetAsAllocated(FIBITMAP *image) {
  BITMAPINFOHEADER *header = FreeImage_GetInfoHeader(image);
  const unsigned bpp = FreeImage_GetBPP(image);
  const unsigned colors = bpp <= 8 ? 1u << bpp : 0;
  header->biClrUsed = colors;
  header->biClrImportant = colors;
  header->biXPelsPerMeter = 2835;
  header->biYPelsPerMeter = 2835;
  RGBQUAD *palette = FreeImage_GetPalette(image);
  if (!palette)
    return;
  std::memset(palette, 0, colors * sizeof(RGBQUAD));
  if (bpp == 8)
    for (unsigned i = 0; i < 256; ++i)
      palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
}

} // namespace

TPageBitmapPool &TPageBitmapPool::Shared() {
  static TPageBitmapPool pool;
  return pool;
}

TPageBitmapPool::~TPageBitmapPool() {
  for (FIBITMAP *image : Kept)
    FreeImage_Unload(image);
}

FIBITMAP *TPageBitmapPool::Take(int width, int height, int bpp) {
  FIBITMAP *found = nullptr;
  {
    win::Lock lock(Guard);
    for (auto it = Kept.begin(); it != Kept.end(); ++it)
      if (static_cast<int>(FreeImage_GetWidth(*it)) == width &&
          static_cast<int>(FreeImage_GetHeight(*it)) == height &&
          static_cast<int>(FreeImage_GetBPP(*it)) == bpp) {
        found = *it;
        Kept.erase(it);
        break;
      }
  }
  if (found)
    ResetAsAllocated(found);
  return found;
}

void TPageBitmapPool::Give(FIBITMAP *image) {
  if (!image)
    return;
  if (!Keepable(image)) {
    FreeImage_Unload(image);
    return;
  }
  FIBITMAP *oldest = nullptr;
  {
    win::Lock lock(Guard);
    // The newest pages are the likeliest to match the next: a change of page size or colour
    // mode replaces the kept bitmaps instead of leaving them unused.
    if (Kept.size() >= kMaximumKept) {
      oldest = Kept.front();
      Kept.erase(Kept.begin());
    }
    Kept.push_back(image);
  }
  if (oldest)
    FreeImage_Unload(oldest);
}

size_t TPageBitmapPool::KeptCount() {
  win::Lock lock(Guard);
  return Kept.size();
}
