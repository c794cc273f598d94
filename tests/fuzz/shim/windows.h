// The few Windows names the TWAIN layer's byte decoders use, for building them natively (i386
// Linux, with the sanitizers). Sizes match 32-bit Windows, so the records keep their layout.
// CreateDIBSection, DeleteObject and global memory are backed by plain memory in WindowsShim.cpp.
#pragma once

#include <cstdint>

#define WINAPI __attribute__((stdcall))

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef uint32_t UINT;
typedef int BOOL;
typedef void *HANDLE;
typedef void *HDC;
typedef void *HGDIOBJ;
typedef struct ShimBitmap *HBITMAP;
typedef void *HGLOBAL; // a ShimGlobal
typedef uintptr_t SIZE_T;

#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER");

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

// A bottom-up section of biSizeImage bytes (or the rows' size when that is 0); the pixels are
// checked by the sanitizers like any heap block.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section,
                         DWORD offset);
BOOL DeleteObject(HGDIOBJ object);

// Global memory blocks of exactly the size asked for, zeroed, so that a read past one is caught.
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GHND = 0x0042;
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
void *GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);
