#include <windows.h>

#include <cstdlib>
#include <new>

struct ShimBitmap {
  void *pixels;
};

HBITMAP CreateDIBSection(HDC, const BITMAPINFO *info, UINT, void **bits, HANDLE, DWORD) {
  if (bits)
    *bits = nullptr;
  if (!info || info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight == 0)
    return nullptr;
  const BITMAPINFOHEADER &h = info->bmiHeader;
  const unsigned long long stride = ((unsigned long long)h.biWidth * h.biBitCount + 31) / 32 * 4;
  const unsigned long long rows =
      h.biHeight < 0 ? 0ull - (long long)h.biHeight : (unsigned long long)h.biHeight;
  const unsigned long long size = stride * rows;
  if (size == 0 || size > (256ull << 20))
    return nullptr;
  void *pixels = std::malloc(size_t(size));
  if (!pixels)
    return nullptr;
  auto *bitmap = new (std::nothrow) ShimBitmap{pixels};
  if (!bitmap) {
    std::free(pixels);
    return nullptr;
  }
  if (bits)
    *bits = pixels;
  return bitmap;
}

BOOL DeleteObject(HGDIOBJ object) {
  auto *bitmap = static_cast<ShimBitmap *>(object);
  if (!bitmap)
    return 0;
  std::free(bitmap->pixels);
  delete bitmap;
  return 1;
}

struct ShimGlobal {
  void *bytes;
  SIZE_T size;
};

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
  void *memory = std::calloc(bytes ? bytes : 1, 1);
  auto *block = memory ? new (std::nothrow) ShimGlobal{memory, bytes} : nullptr;
  if (!block)
    std::free(memory);
  return block;
}
void *GlobalLock(HGLOBAL block) { return block ? static_cast<ShimGlobal *>(block)->bytes : nullptr; }
BOOL GlobalUnlock(HGLOBAL) { return 0; }
SIZE_T GlobalSize(HGLOBAL block) { return block ? static_cast<ShimGlobal *>(block)->size : 0; }
HGLOBAL GlobalFree(HGLOBAL block) {
  if (block)
    std::free(static_cast<ShimGlobal *>(block)->bytes);
  delete static_cast<ShimGlobal *>(block);
  return nullptr;
}
