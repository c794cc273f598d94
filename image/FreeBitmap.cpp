#include "image/FreeBitmap.h"

#include "image/PageBitmapPool.h"
#include "win/Owners.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

TFreeBitmap::TFreeBitmap(int32_t imageType, int32_t width, int32_t height, int32_t bpp) {
  if (width > 0 && height > 0 && bpp > 0)
    AllocateImage(imageType, width, height, bpp, 0, 0, 0);
}

namespace {

// The entry's value is its index (not scaled to 0..255): an 8-bit page gets the full grey
// ramp, and GetDIBits overwrites the table of an imported page anyway.
void WriteIndexRamp(int32_t imageType, int32_t bpp, FIBITMAP *image) {
  if (imageType != FIT_BITMAP || (bpp != 1 && bpp != 4 && bpp != 8))
    return;
  RGBQUAD *palette = FreeImage_GetPalette(image);
  const unsigned colors = FreeImage_GetColorsUsed(image);
  for (unsigned i = 0; palette && i < colors; ++i) {
    palette[i].rgbBlue = static_cast<BYTE>(i);
    palette[i].rgbGreen = static_cast<BYTE>(i);
    palette[i].rgbRed = static_cast<BYTE>(i);
  }
}

// GetDIBits leaves the resolution out; a DIB section's header holds the page's own, which the
// JPEG file's density then carries. A device-dependent bitmap has none and keeps the default.
void CarryResolution(HBITMAP bitmap, FIBITMAP *image) {
  DIBSECTION section{};
  if (::GetObjectA(bitmap, sizeof section, &section) != static_cast<int>(sizeof section))
    return;
  if (section.dsBmih.biXPelsPerMeter > 0 && section.dsBmih.biYPelsPerMeter > 0) {
    FreeImage_SetDotsPerMeterX(image, static_cast<unsigned>(section.dsBmih.biXPelsPerMeter));
    FreeImage_SetDotsPerMeterY(image, static_cast<unsigned>(section.dsBmih.biYPelsPerMeter));
  }
}

// The pixels of a DIB section lie where its header says only if that memory is there to read.
bool ReadableMemoryHolds(const void *start, size_t bytes) {
  MEMORY_BASIC_INFORMATION region{};
  if (::VirtualQuery(start, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT ||
      (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
    return false;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress);
  return begin >= base && begin - base <= region.RegionSize && bytes <= region.RegionSize - (begin - base);
}

// Every size an 8- or 24-bit section reports agrees with the image made for it, with
// FreeImage's rows (4-byte aligned) and with the memory behind its pixels.
bool SectionMatchesImage(const DIBSECTION &section, FIBITMAP *image) {
  const BITMAPINFOHEADER &header = section.dsBmih;
  const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
  const unsigned bpp = FreeImage_GetBPP(image), pitch = FreeImage_GetPitch(image);
  if (!section.dsBm.bmBits || (bpp != 8 && bpp != 24) || header.biBitCount != bpp ||
      section.dsBm.bmBitsPixel != bpp || header.biCompression != BI_RGB || header.biPlanes != 1)
    return false;
  if (header.biWidth != static_cast<LONG>(width) || header.biHeight != static_cast<LONG>(height) ||
      section.dsBm.bmWidth != header.biWidth || section.dsBm.bmHeight != header.biHeight ||
      section.dsBm.bmWidthBytes != static_cast<LONG>(pitch) || pitch != ((bpp * width + 31) / 32) * 4)
    return false;
  const uint64_t bytes = static_cast<uint64_t>(pitch) * height;
  return bytes <= SIZE_MAX && (header.biSizeImage == 0 || header.biSizeImage >= bytes) &&
         ReadableMemoryHolds(section.dsBm.bmBits, static_cast<size_t>(bytes));
}

// An 8-bit section whose colour table is the ascending grey ramp: its pixels are grey levels as
// FreeImage's own 8-bit grey holds them.
bool HoldsGreyRamp(HBITMAP section) {
  win::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  if (!dc)
    return false;
  RGBQUAD colours[256];
  UINT count;
  {
    win::SelectGuard selected(dc.get(), section);
    count = ::GetDIBColorTable(dc.get(), 0, 256, colours);
  }
  if (count != 256)
    return false;
  for (UINT i = 0; i < count; ++i)
    if (colours[i].rgbRed != i || colours[i].rgbGreen != i || colours[i].rgbBlue != i)
      return false;
  return true;
}

// The first row from the bottom that differs from its mirror row from the top; the height
// when the page reads the same either way up.
unsigned FirstUnmirroredRow(const BYTE *rows, size_t pitch, unsigned height) {
  for (unsigned y = 0; y < height / 2; ++y)
    if (std::memcmp(rows + pitch * y, rows + pitch * (height - 1 - y), pitch) != 0)
      return y;
  return height;
}

// A bottom-up 8- or 24-bit section has rows FreeImage holds as they are: they are copied in one
// go instead of through GetDIBits. Its header does not tell a top-down section (GDI reports a
// positive height for both), so one row GetDIBits copies must be the section's own row there;
// a page the same either way up copies the same either way. Anything else is left to GetDIBits.
bool CopySectionRows(TFreeWinBitmap::TCopyDeviceBits copyDeviceBits, HDC screen, HBITMAP bitmap,
                     FIBITMAP *image, BYTE *rows) {
  DIBSECTION section{};
  if (::GetObjectA(bitmap, sizeof section, &section) != static_cast<int>(sizeof section) ||
      !SectionMatchesImage(section, image))
    return false;
  const size_t pitch = FreeImage_GetPitch(image);
  const unsigned height = FreeImage_GetHeight(image);
  const BYTE *source = static_cast<const BYTE *>(section.dsBm.bmBits);
  const unsigned probe = FirstUnmirroredRow(source, pitch, height);
  const bool mirrored = probe == height;
  std::vector<BYTE> row(pitch);
  // GetDIBits also writes the header and colour table as an import always has.
  if (copyDeviceBits(screen, bitmap, mirrored ? 0 : probe, 1, row.data(), FreeImage_GetInfo(image),
                     DIB_RGB_COLORS) != 1)
    return false;
  if (!mirrored && std::memcmp(row.data(), source + pitch * probe, pitch) != 0)
    return false;
  std::memcpy(rows, source, pitch * height);
  return true;
}

} // namespace

TFreeBitmap::~TFreeBitmap() {
  // The writer destroys each page once written; its bitmap can serve the next page.
  TPageBitmapPool::Shared().Give(ImageHandle);
}

void TFreeBitmap::ReleaseImage() {
  if (!ImageHandle)
    return;
  FreeImage_Unload(ImageHandle);
  ImageHandle = nullptr;
  ImageChanged();
}

bool TFreeBitmap::AllocateImage(int32_t imageType, int32_t width, int32_t height, int32_t bpp,
                                uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
  if (ImageHandle) {
    FreeImage_Unload(ImageHandle);
    ImageHandle = nullptr;
  }
  ImageHandle = FreeImage_Allocate(width, height, bpp, redMask, greenMask, blueMask);
  if (!ImageHandle)
    return false;
  WriteIndexRamp(imageType, bpp, ImageHandle);
  ImageChanged();
  return true;
}

bool TFreeWinBitmap::AllocatePageImage(int32_t width, int32_t height, int32_t bpp) {
  FIBITMAP *kept = TPageBitmapPool::Shared().Take(width, height, bpp);
  if (!kept)
    return AllocateImage(FIT_BITMAP, width, height, bpp, 0, 0, 0);
  if (ImageHandle)
    FreeImage_Unload(ImageHandle);
  ImageHandle = kept;
  WriteIndexRamp(FIT_BITMAP, bpp, ImageHandle);
  ImageChanged();
  return true;
}

bool TFreeBitmap::ImageChanging(FIBITMAP *&oldImage, FIBITMAP *&newImage) {
  bool handled = false;
  if (oldImage != newImage && OnImageChanging)
    OnImageChanging(this, oldImage, newImage, handled);
  return handled;
}

bool TFreeBitmap::ReplaceImage(FIBITMAP *newImage) {
  if (!newImage)
    return false;
  FIBITMAP *oldImage = ImageHandle;
  if (!ImageChanging(oldImage, newImage) && oldImage && oldImage != newImage)
    FreeImage_Unload(oldImage);
  ImageHandle = newImage;
  ImageChanged();
  return true;
}

void TFreeBitmap::ImageChanged() {
  if (OnImageChange)
    OnImageChange(this);
}

bool TFreeBitmap::CanSaveAs(int32_t fif) const {
  if (!HasImage() || fif == FIF_UNKNOWN)
    return false;
  const FREE_IMAGE_FORMAT format = static_cast<FREE_IMAGE_FORMAT>(fif);
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(ImageHandle);
  if (type == FIT_BITMAP) {
    const uint16_t bpp = static_cast<uint16_t>(FreeImage_GetBPP(ImageHandle));
    return FreeImage_FIFSupportsWriting(format) && FreeImage_FIFSupportsExportBPP(format, bpp);
  }
  return FreeImage_FIFSupportsExportType(format, type);
}

TPageWriteResult TFreeBitmap::WriteToFile(const std::string &fileName, int32_t flags) const {
  return Encode(fileName, flags,
                [&](const TPageBytesProducer &produce) { return WritePageFile(fileName, produce); });
}

TPageWriteResult TFreeBitmap::WriteToFile(TNameClaim &claim, int32_t flags) const {
  return Encode(claim.Path(), flags,
                [&](const TPageBytesProducer &produce) { return WritePageFile(claim, produce); });
}

TPageWriteResult TFreeBitmap::Encode(const std::string &fileName, int32_t flags,
                                     const TFileWrite &write) const {
  if (!HasImage())
    return TPageWriteResult::Refusal("the page holds no image");
  const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(fileName.c_str());
  if (fif == FIF_UNKNOWN)
    return TPageWriteResult::Refusal("no image format for this file name");
  if (!CanSaveAs(fif))
    return TPageWriteResult::Refusal(std::string(FreeImage_GetFormatFromFIF(fif)) + " cannot hold a " +
                                     std::to_string(FreeImage_GetBPP(ImageHandle)) + "-bit image");
  // FreeImage's own file save does not check its last flush and close: the bytes go through a
  // handle of ours. The bitmap's resolution goes into the file as FreeImage writes it.
  return write([&](TPageFileSink &sink) {
    FreeImageIO io = TPageFileSink::IO();
    return FreeImage_SaveToHandle(fif, ImageHandle, &io, &sink, flags) != FALSE;
  });
}

TFreeWinBitmap::TCopyDeviceBits TFreeWinBitmap::CopyDeviceBits = ::GetDIBits;

TFreeWinBitmap::TFreeWinBitmap(int32_t imageType, int32_t width, int32_t height, int32_t bpp)
    : TFreeBitmap(imageType, width, height, bpp) {}

TFreeWinBitmap::~TFreeWinBitmap() {
  if (DeleteAsDIB && DisplayDib)
    FreeImage_Unload(DisplayDib);
  ReleaseAdopted(); // before the base class offers the image to the pool of page bitmaps
}

void TFreeWinBitmap::ReleaseImage() {
  if (DeleteAsDIB && DisplayDib) {
    FreeImage_Unload(DisplayDib);
    DisplayDib = nullptr;
    DeleteAsDIB = false;
  }
  TFreeBitmap::ReleaseImage();
}

void TFreeWinBitmap::ReleaseAdopted() {
  if (AdoptedImage && ImageHandle == AdoptedImage) {
    FreeImage_Unload(ImageHandle);
    ImageHandle = nullptr;
  }
  AdoptedImage = nullptr;
  PixelOwner.reset();
}

void TFreeWinBitmap::ImageChanged() {
  // The adopted image was replaced (and unloaded): its section is no longer needed.
  if (AdoptedImage && ImageHandle != AdoptedImage) {
    AdoptedImage = nullptr;
    PixelOwner.reset();
  }
  TFreeBitmap::ImageChanged();
}

bool TFreeWinBitmap::AdoptDibSection(HBITMAP section, const std::function<std::shared_ptr<void>()> &take) {
  DIBSECTION described{};
  if (!section || !take ||
      ::GetObjectA(section, sizeof described, &described) != static_cast<int>(sizeof described))
    return false;
  const BITMAPINFOHEADER &header = described.dsBmih;
  const WORD bpp = header.biBitCount;
  if (!described.dsBm.bmBits || (bpp != 8 && bpp != 24) || header.biCompression != BI_RGB ||
      header.biWidth <= 0 || header.biHeight <= 0 || described.dsBm.bmBitsPixel != bpp)
    return false;
  const unsigned width = static_cast<unsigned>(header.biWidth),
                 height = static_cast<unsigned>(header.biHeight);
  const uint64_t pitch = (uint64_t(bpp) * width + 31) / 32 * 4;
  if (described.dsBm.bmWidthBytes != static_cast<LONG>(pitch) || pitch * height > SIZE_MAX ||
      !ReadableMemoryHolds(described.dsBm.bmBits, static_cast<size_t>(pitch * height)))
    return false;
  if (bpp == 8 && !HoldsGreyRamp(section))
    return false; // a vanilla or palette page is converted by the import's copy
  // A header over the section's own rows: FreeImage reads them where they are and never frees them.
  FIBITMAP *image = FreeImage_ConvertFromRawBitsEx(
      FALSE, static_cast<BYTE *>(described.dsBm.bmBits), FIT_BITMAP, static_cast<int>(width),
      static_cast<int>(height), static_cast<int>(pitch), bpp, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
      FI_RGBA_BLUE_MASK, FALSE);
  if (!image)
    return false;
  std::shared_ptr<void> owner = take();
  if (!owner) {
    FreeImage_Unload(image);
    return false;
  }
  WriteIndexRamp(FIT_BITMAP, bpp, image);
  CarryResolution(section, image);
  ReleaseAdopted();
  if (ImageHandle)
    FreeImage_Unload(ImageHandle);
  ImageHandle = image;
  AdoptedImage = image;
  PixelOwner = std::move(owner);
  TFreeBitmap::ImageChanged();
  return true;
}

bool TFreeWinBitmap::ImportDeviceBitmap(HBITMAP bitmap) {
  if (!bitmap)
    return false;
  BITMAP description{};
  // A handle that cannot be described gives no sizes to allocate from: keep what we hold.
  if (::GetObjectA(bitmap, sizeof(BITMAP), &description) == 0 || description.bmWidth <= 0 ||
      description.bmHeight <= 0 || description.bmBitsPixel == 0)
    return false;
  if (!AllocatePageImage(description.bmWidth, description.bmHeight, description.bmBitsPixel))
    return false;

  const unsigned colors = FreeImage_GetColorsUsed(ImageHandle);
  const int lines = CopyPixels(bitmap);
  // GetDIBits rewrites the colour counts; FreeImage relies on them to find the pixels.
  BITMAPINFOHEADER *header = FreeImage_GetInfoHeader(ImageHandle);
  header->biClrUsed = colors;
  header->biClrImportant = colors;
  if (lines == 0)
    throw std::runtime_error("Error: GetDIBits failed");
  if (description.bmBitsPixel == 1 || description.bmBitsPixel == 4 ||
      FreeImage_GetColorType(ImageHandle) == FIC_MINISWHITE) {
    // JPEG holds neither depth, nor grey that runs from white to black: black and white, 16-level
    // and vanilla grey pages become 8-bit grey through their own colour table, so either pixel
    // flavour keeps black black and white white.
    FIBITMAP *grey = FreeImage_ConvertToGreyscale(ImageHandle);
    if (!grey)
      throw std::runtime_error("Error: the page could not be converted to grey");
    ReplaceImage(grey);
  }
  CarryResolution(bitmap, ImageHandle);
  return true;
}

int TFreeWinBitmap::CopyPixels(HBITMAP bitmap) {
  win::WindowDC screen(nullptr);
  const UINT height = FreeImage_GetHeight(ImageHandle);
  // Taken first: FreeImage finds the pixels through the colour count GetDIBits rewrites.
  BYTE *rows = FreeImage_GetBits(ImageHandle);
  if (CopySectionRows(CopyDeviceBits, screen.get(), bitmap, ImageHandle, rows))
    return static_cast<int>(height);
  return CopyDeviceBits(screen.get(), bitmap, 0, height, rows, FreeImage_GetInfo(ImageHandle),
                        DIB_RGB_COLORS);
}
